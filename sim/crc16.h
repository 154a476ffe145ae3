// CRC-16/MODBUS of the virtual device (initial 0xFFFF, reflected polynomial 0xA001, no final XOR).
// Computed from a table, independently of the product's bitwise routine, so that each checks the
// other. Pure; any thread.
#pragma once

#include <cstdint>
#include <span>

namespace sim {

std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

// True when the last two bytes hold the CRC (low byte first) of the bytes before them.
bool HasValidCrc(std::span<const std::uint8_t> frame);

}  // namespace sim
