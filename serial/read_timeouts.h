// What the five read time-outs of a port ask of one read, as Windows' serial drivers give them a
// meaning: two special modes with the interval at its maximum, and otherwise a read bounded by
// its totals (multiplier x count + constant) and by the silence after a byte (the interval).
// Pure; each device layer carries the result out with its own calls.
#pragma once

#include <cstdint>
#include <optional>

#include "serial/serial_device.h"

enum class TReadMode {
  Bounded,     // the totals bound the whole read, the interval the silence after a byte
  Immediate,   // interval at its maximum, totals 0: take what is there and return at once
  FirstBytes,  // interval and multiplier at their maximum, a constant: return with the first
               // bytes, or with none once the constant has passed
};

struct TReadTimeouts {
  TReadMode mode = TReadMode::Bounded;
  std::optional<std::uint64_t> totalMs;  // the bound of the whole read; none: no bound
  std::uint32_t intervalMs = 0;          // the silence after a byte that ends it; 0: none
};

inline constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFFu;

// The read of `count` bytes under these time-outs.
TReadTimeouts ReadTimeoutsOf(const TTimeoutSettings& timeouts, int count);
