#include "sim/crc16.h"

#include <array>

namespace sim {
namespace {

constexpr std::array<std::uint16_t, 256> MakeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1U) ? (crc >> 1) ^ 0xA001U : crc >> 1;
    table[i] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kTable = MakeTable();

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
  unsigned crc = 0xFFFF;
  for (std::uint8_t b : bytes)
    crc = (crc >> 8) ^ kTable[(crc ^ b) & 0xFFU];
  return static_cast<std::uint16_t>(crc);
}

bool HasValidCrc(std::span<const std::uint8_t> frame) {
  if (frame.size() < 3) return false;
  const std::size_t n = frame.size();
  const unsigned stored = frame[n - 2] | (static_cast<unsigned>(frame[n - 1]) << 8);
  return Crc16(frame.first(n - 2)) == stored;
}

}  // namespace sim
