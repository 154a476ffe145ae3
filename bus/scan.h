// A scan of a whole line: the probes address by address and rate by rate, a garbled reply asked
// for once more, each device reported once for each rate, the parameter block of each device of
// the family read (once more after a CRC error).
//
// Threads: Scan runs on the caller's thread (a worker, for a window) and calls the observer on
// it; the stop token may be requested from any thread, and the scan ends before its next probe.
// Failures of the port (EComPort) and an echoing adapter met without its setting (TDeviceFault,
// kind Echo) leave Scan as exceptions; what the scan had found was reported already.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "bus/device_requests.h"
#include "bus/lines.h"

struct TScanPlan {
  std::string port;
  std::vector<std::uint8_t> rates;  // BaudTable indexes, in the order they are scanned
  std::uint8_t from = kLowestAddress;
  std::uint8_t to = kHighestAddress;
  std::chrono::milliseconds delay{150};                   // the wait for a reply to begin
  std::optional<std::chrono::milliseconds> blockTimeout;  // a find's block; else by rate
  bool firstOnly = false;                                 // end at the first device of the family
  // The one rate scanned through a port whose rate does not reach the line (a raw TCP port),
  // where every rate would find the same devices.
  std::uint8_t rateOfRawPort = kDefaultBaudIndex;
};

// Where the scan is, before each address is probed.
struct TScanProgress {
  unsigned probes = 0;  // sent so far
  unsigned total = 1;   // addresses times rates
  unsigned address = 0;
  std::uint8_t baudIndex = 0;
  unsigned rateNumber = 1;  // which of the rates (from 1)
  unsigned rates = 1;
  std::chrono::seconds left{};  // the nominal time of the probes still to go
};

// A device of the family, with its block or the fault that kept it.
struct TFind {
  std::uint8_t address = 0;
  std::uint8_t baudIndex = 0;
  unsigned id = 0;
  std::optional<TBlockReading> reading;
  std::optional<TDeviceFault> blockFault;
};

class TScanObserver {
 public:
  virtual ~TScanObserver() = default;
  virtual void Progress(const TScanProgress& /*progress*/) {}
  virtual void Found(const TFind& /*find*/) {}
  // A valid reply of another family (another id, an exception), once per address and rate.
  virtual void OtherFamily(const TProbeResult& /*result*/, std::uint8_t /*baudIndex*/) {}
  // A reply that failed its CRC check twice running.
  virtual void Garbled(const TProbeResult& /*result*/, std::uint8_t /*baudIndex*/) {}
  // A line for the operator (the narrowing to one rate through a raw TCP port).
  virtual void Warning(const std::string& /*line*/) {}
};

struct TScanTally {
  unsigned probes = 0;
  unsigned found = 0;
  unsigned others = 0;
};

TScanTally Scan(TLines& lines, TScanPlan plan, TScanObserver& observer, std::stop_token stop);

// The nominal time of a fruitless probe: the wait plus the request on the line (10 bits a byte).
double ProbeSeconds(std::chrono::milliseconds delay, std::uint8_t baudIndex);
