#include "sim/line_timing.h"

#include <array>

namespace sim {
namespace {

constexpr std::array<std::uint32_t, 8> kRates = {1200,  2400,  4800,  9600,
                                                 14400, 19200, 38400, 57600};
constexpr std::int64_t kBitsPerChar = 10;

}  // namespace

std::uint32_t RateOfBaudCode(unsigned code) {
  return IsBaudCode(code) ? kRates[code - 1] : 0;
}

bool IsBaudCode(unsigned code) {
  return code >= 1 && code <= kRates.size();
}

std::chrono::nanoseconds CharTime(std::uint32_t rate) {
  return std::chrono::nanoseconds(kBitsPerChar * 1'000'000'000LL / rate);
}

std::chrono::nanoseconds FrameSilence(std::uint32_t rate) {
  return std::chrono::nanoseconds(kBitsPerChar * 3'500'000'000LL / rate);
}

}  // namespace sim
