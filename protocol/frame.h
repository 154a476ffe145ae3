// Modbus-RTU frames of the device family: the CRC, the one request layout the master builds, and
// the CRC check of a received reply.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS (initial 0xFFFF, reflected polynomial 0xA001, no final XOR) of the first
// `length` bytes of `data`. The CRC of no bytes is 0xFFFF.
std::uint16_t CalcCrc16(const std::uint8_t* data, std::uint16_t length);

// Writes the 8-byte request for LinkState.DeviceAddress into ExchangeBuffer[0..7]: address,
// function, register (high, low), value or count (high, low), CRC (low, high).
void BuildRequest(std::uint8_t function, std::uint16_t reg, std::uint16_t valueOrCount);

// True when the last two of the first RxCount bytes of ExchangeBuffer hold the CRC of the bytes
// before them. A reply of fewer than two bytes has no CRC and fails; nothing past the received
// bytes is read.
bool CheckReplyCrc();
