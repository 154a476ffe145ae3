// The eight line rates of the device family. A BaudTable index (0..7) is what the link state
// keeps; the device's baud code (register 2) is the index plus one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "serial/com_types.h"

inline constexpr std::array<std::uint32_t, 8> BaudTable = {1200,  2400,  4800,  9600,
                                                           14400, 19200, 38400, 57600};

// The index of 9600 Bd, the rate every program starts with.
inline constexpr std::uint8_t kDefaultBaudIndex = 3;

// The rate of a BaudTable index as text ("1200" .. "57600"); "9600" outside 0..7.
const char* BaudText(std::uint8_t baudIndex);

// The serial component's rate of a BaudTable index (br1200 .. br57600); 9600 outside 0..7.
TBaudRate ComBaudRate(std::uint8_t baudIndex);

// The index of a rate in bits per second, or nothing for a rate the family does not use.
std::optional<std::uint8_t> BaudIndexOfRate(std::uint32_t rate);

// The index of a device baud code 1..8, or nothing for any other code.
std::optional<std::uint8_t> BaudIndexOfCode(unsigned code);

// The device's baud code (register 2) of a BaudTable index.
inline constexpr unsigned BaudCodeOfIndex(std::uint8_t baudIndex) {
  return baudIndex + 1u;
}
