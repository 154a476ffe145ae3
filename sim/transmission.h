// Turning a reply into bytes on the line: the content faults, and the pacing of each byte at the
// line rate. Pure; any thread.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "sim/faults.h"
#include "sim/line_timing.h"

namespace sim {

struct TTimedByte {
  // When the byte has crossed the line: its stop bit has ended and a receiver has it, so this is
  // when it is handed to the pseudo-terminal.
  Clock::time_point at;
  std::uint8_t value;
};

struct TTransmission {
  std::vector<TTimedByte> bytes;
  Clock::time_point start;  // the first start bit goes on the line
  Clock::time_point end;    // the last stop bit ends (the last byte's at)
};

// The bytes sent for a reply: corruption applied, then garbage (before or instead), then the extra
// bytes. An empty reply with no garbage and no extra bytes stays empty.
std::vector<std::uint8_t> ApplyContentFaults(std::vector<std::uint8_t> reply, const TFaults& faults,
                                             std::mt19937& random);

// Byte k goes on the line at start + k * charTime, plus gap for every position in gapBefore that
// is <= k, and has crossed it one charTime later.
TTransmission Pace(std::span<const std::uint8_t> wire, Clock::time_point start,
                   std::chrono::nanoseconds charTime, std::span<const std::size_t> gapBefore,
                   std::chrono::nanoseconds gap);

}  // namespace sim
