// How one device of the family answers a request: its registers and the reply it builds. Pure
// (no time, no I/O, no lock); the caller serialises access to a TSlaveState.
//
// Registers: 0 id (read-only), 1 bus address, 2 baud code, 3 operating mode (write 1 = on, which
// runs the mode of register 5; write 0 = off), 4 mode on power-up, 5 mode on the "on" command,
// 6 remember-last-command flag. Functions 3 (read holding registers) and 6 (write single register).
// Exceptions: 01 any other function; 02 a register outside 0..6 (and a write of register 0);
// 03 a malformed request (length other than 8, count 0 or over 125) or a value the register does
// not take (address outside 1..247, baud code outside 1..8, register 3 other than 0/1, a mode other
// than 0 and 2..10 in registers 4 and 5). Register 6 takes any value.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

inline constexpr std::size_t kRegisterCount = 7;
using TRegisters = std::array<std::uint16_t, kRegisterCount>;

struct TSlaveState {
  std::uint8_t address = 247;  // the address the device answers at
  std::uint8_t baudCode = 4;   // the rate it works at (1..8)
  TRegisters registers{};      // what it reports; 1 and 2 normally mirror address and baudCode
};

struct TAnswer {
  std::vector<std::uint8_t> reply{};         // empty: no answer
  std::optional<std::uint8_t> newAddress{};  // taken only once the reply has been sent
  std::optional<std::uint8_t> newBaudCode{};
};

// True when frame is a request this device must act on: at least 4 bytes, its address first, a
// valid CRC last.
bool IsRequestFor(std::uint8_t address, std::span<const std::uint8_t> frame);

// Answers frame (CRC included). Frames that IsRequestFor rejects get no answer and change nothing.
// A write changes registers at once, except that the new address or baud code is returned for the
// caller to take after the echo.
TAnswer AnswerRequest(TSlaveState& state, std::span<const std::uint8_t> frame);

// address, function | 0x80, code, CRC low, CRC high.
std::vector<std::uint8_t> ExceptionReply(std::uint8_t address, std::uint8_t function,
                                         std::uint8_t code);

// Appends the CRC of frame, low byte first.
void AppendCrc(std::vector<std::uint8_t>& frame);

}  // namespace sim
