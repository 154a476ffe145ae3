#include "protocol/baud_rates.h"

namespace {
constexpr std::array<const char*, BaudTable.size()> kBaudTexts = {
    "1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600"};
}  // namespace

const char* BaudText(std::uint8_t baudIndex) {
  return baudIndex < kBaudTexts.size() ? kBaudTexts[baudIndex] : "9600";
}

TBaudRate ComBaudRate(std::uint8_t baudIndex) {
  static constexpr std::array<TBaudRate, BaudTable.size()> kRates = {
      br1200, br2400, br4800, br9600, br14400, br19200, br38400, br57600};
  return baudIndex < kRates.size() ? kRates[baudIndex] : br9600;
}

std::optional<std::uint8_t> BaudIndexOfRate(std::uint32_t rate) {
  for (std::uint8_t i = 0; i < BaudTable.size(); ++i)
    if (BaudTable[i] == rate) return i;
  return std::nullopt;
}

std::optional<std::uint8_t> BaudIndexOfCode(unsigned code) {
  if (code < 1 || code > BaudTable.size()) return std::nullopt;
  return static_cast<std::uint8_t>(code - 1);
}
