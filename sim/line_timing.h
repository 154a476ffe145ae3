// Line rates of the family and the time one character takes on the line. A character is 10 bits
// (start, 8 data, stop: 8N1). Pure; any thread.
#pragma once

#include <chrono>
#include <cstdint>

namespace sim {

using Clock = std::chrono::steady_clock;

// Baud code of register 2 (1..8) to bits per second: 1200, 2400, 4800, 9600, 14400, 19200, 38400,
// 57600. Returns 0 for any other code.
std::uint32_t RateOfBaudCode(unsigned code);

// True for the codes 1..8.
bool IsBaudCode(unsigned code);

// Time of one 10-bit character at rate bits per second (rate > 0).
std::chrono::nanoseconds CharTime(std::uint32_t rate);

// The silence that ends a frame: 3.5 character times at rate.
std::chrono::nanoseconds FrameSilence(std::uint32_t rate);

}  // namespace sim
