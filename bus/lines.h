// The lines of a piece of whole-line work: one TDeviceLine per port, opened at its first use and
// kept open until the set goes, switched to another rate when asked at one.
//
// Threads: a TLines and its lines belong to one thread at a time (the worker that does the
// work); the callbacks are called on that thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "bus/device_line.h"

// How every line of the set is driven.
struct TLineSetup {
  TDeviceLine::TTrace trace;                     // empty: no trace
  std::optional<std::chrono::milliseconds> gap;  // the operator's silence, if given
  bool echo = false;                             // drop the adapter's copy of each request
  bool rs485 = false;                            // RTS switched by the driver
  TPortFacts facts;
  std::function<void(const std::string& line)> warning;  // a line's warnings for the operator
};

class TLines {
 public:
  explicit TLines(TLineSetup settings) : settings_(std::move(settings)) {}

  // The line of `port` at a rate: opened at its first use, switched to another rate later.
  // Throws EComPort.
  TDeviceLine& Line(const std::string& port, std::uint8_t baudIndex);

 private:
  TLineSetup settings_;
  std::map<std::string, std::unique_ptr<TDeviceLine>> lines_;
};
