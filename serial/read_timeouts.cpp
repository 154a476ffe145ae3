#include "serial/read_timeouts.h"

TReadTimeouts ReadTimeoutsOf(const TTimeoutSettings& t, int count) {
  TReadTimeouts read;
  if (t.readInterval == kMaxTimeout && t.readTotalMultiplier == 0 && t.readTotalConstant == 0) {
    read.mode = TReadMode::Immediate;
    return read;
  }
  if (t.readInterval == kMaxTimeout && t.readTotalMultiplier == kMaxTimeout &&
      t.readTotalConstant != 0 && t.readTotalConstant != kMaxTimeout) {
    read.mode = TReadMode::FirstBytes;
    read.totalMs = t.readTotalConstant;
    return read;
  }
  if (t.readTotalMultiplier != 0 || t.readTotalConstant != 0) {
    const auto bytes = static_cast<std::uint64_t>(count > 0 ? count : 0);
    read.totalMs = std::uint64_t{t.readTotalMultiplier} * bytes + t.readTotalConstant;
  }
  if (t.readInterval != kMaxTimeout) read.intervalMs = t.readInterval;
  return read;
}
