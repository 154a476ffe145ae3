// A watch of one device: its parameter block read again and again, with a pause between the end
// of one read and the next, until a count of reads or a stop.
//
// Threads: Run works on the caller's thread (a worker, for a window) and calls the observer on
// it; the stop token may be requested from any thread: a pause ends at once, a read under way is
// finished. A failure of the port (EComPort) leaves Run; the tally then counts the read it failed
// in, so a front end can still summarise.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "bus/device_requests.h"

struct TWatchPlan {
  unsigned count = 0;  // 0: until stopped
  std::chrono::milliseconds interval{1000};
};

// One read's outcome: the block (with the one of the read before it that was answered, if any)
// or the device's fault.
struct TWatchRead {
  unsigned number = 0;  // from 1
  std::optional<TBlockReading> reading;
  std::optional<TParameterBlock> previous;
  std::optional<TDeviceFault> fault;
};

class TWatchObserver {
 public:
  virtual ~TWatchObserver() = default;
  // A read is about to be sent; `at` is the wall-clock time it is stamped with.
  virtual void ReadBegins(unsigned /*number*/, std::chrono::system_clock::time_point /*at*/) {}
  virtual void ReadEnded(const TWatchRead& /*read*/) {}
};

struct TWatchTally {
  unsigned reads = 0;
  std::vector<double> replyMs;                   // of the answered reads, in their order
  std::map<std::string, unsigned> faultsByKind;  // FaultKindName -> reads
  unsigned Errors() const { return reads - static_cast<unsigned>(replyMs.size()); }
};

class TWatch {
 public:
  TWatch(TDeviceLine& line, const TTarget& target, const TWatchPlan& plan, TWatchObserver& observer)
      : line_(line), target_(target), plan_(plan), observer_(observer) {}

  void Run(const std::stop_token& stop);
  const TWatchTally& Tally() const { return tally_; }

 private:
  void ReadOnce();

  TDeviceLine& line_;
  const TTarget target_;
  const TWatchPlan plan_;
  TWatchObserver& observer_;
  TWatchTally tally_;
  std::optional<TParameterBlock> previous_;
};

// Sleeps for `pause`, or less when a stop is requested meanwhile (from any thread).
void PauseUnlessStopped(const std::stop_token& stop, std::chrono::milliseconds pause);
