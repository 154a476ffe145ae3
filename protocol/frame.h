// Modbus-RTU frames of the device family: the CRC, the one request layout the master builds, and
// the CRC check of a received reply. The plain functions work on any buffer; BuildRequest and
// CheckReplyCrc apply them to the window's ExchangeBuffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Function codes of the requests, and of the exception replies to them (bit 7 set).
inline constexpr std::uint8_t kFunctionReadRegisters = 3;
inline constexpr std::uint8_t kFunctionWriteRegister = 6;
inline constexpr std::uint8_t kExceptionBit = 0x80;

inline constexpr std::size_t kRequestLength = 8;
using TRequestFrame = std::array<std::uint8_t, kRequestLength>;

// CRC-16/MODBUS (initial 0xFFFF, reflected polynomial 0xA001, no final XOR) of the first
// `length` bytes of `data`. The CRC of no bytes is 0xFFFF.
std::uint16_t CalcCrc16(const std::uint8_t* data, std::uint16_t length);

// The 8-byte request: address, function, register (high, low), value or count (high, low),
// CRC (low, high).
TRequestFrame MakeRequestFrame(std::uint8_t address, std::uint8_t function, std::uint16_t reg,
                               std::uint16_t valueOrCount);

// True when the last two of the `count` bytes hold the CRC of the bytes before them. Fewer than
// two bytes hold no CRC and fail; nothing past `count` is read.
bool FrameCrcValid(const std::uint8_t* bytes, std::size_t count);

// Writes the 8-byte request for LinkState.DeviceAddress into ExchangeBuffer[0..7].
void BuildRequest(std::uint8_t function, std::uint16_t reg, std::uint16_t valueOrCount);

// FrameCrcValid over the first RxCount bytes of ExchangeBuffer (a count past the buffer fails).
bool CheckReplyCrc();
