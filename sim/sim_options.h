// Command line of tarvi-sim: the devices on the line, their fault switches and the bus options.
// Pure; any thread.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/faults.h"
#include "sim/virtual_device.h"

namespace sim {

// A mistake on the command line; what() is a message for the user.
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TDeviceSpec {
  TDeviceConfig config;
  std::array<std::optional<std::uint16_t>, kRegisterCount> registers;  // raw values (regs=)
  TFaults faults;
  std::chrono::milliseconds extraTurnaround{0};
  std::chrono::milliseconds moveDelay{0};
};

struct TSimOptions {
  std::vector<TDeviceSpec> devices;  // at least one
  std::string linkPath;
  std::optional<std::chrono::milliseconds> replugAfter;
  std::optional<std::chrono::milliseconds> frameSilence;
  bool echo = false;  // the adapter echoes the master's bytes
  // The adapter is a USB one with this latency timer: it hands the bytes over at its ticks.
  std::optional<std::chrono::milliseconds> usbLatency;
  // A second master that reads the parameter block of each of these addresses in turn, with
  // this silence after each reply (or time-out), for ever.
  std::vector<std::uint8_t> pollAddresses;
  std::chrono::milliseconds pollPause{100};
  bool verbose = false;
  bool help = false;
};

// args: the arguments after the program name. Throws TUsageError.
TSimOptions ParseSimOptions(std::span<const std::string_view> args);

// The text of --help.
std::string SimUsage();

}  // namespace sim
