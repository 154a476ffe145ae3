#include "sim/modbus_slave.h"

#include "sim/crc16.h"
#include "sim/line_timing.h"

namespace sim {
namespace {

constexpr std::uint8_t kReadHolding = 3;
constexpr std::uint8_t kWriteSingle = 6;
constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;
constexpr std::size_t kRequestLength = 8;
constexpr unsigned kMaxReadCount = 125;

unsigned Word(std::span<const std::uint8_t> frame, std::size_t at) {
  return (static_cast<unsigned>(frame[at]) << 8) | frame[at + 1];
}

bool IsMode(unsigned value) {
  return value == 0 || (value >= 2 && value <= 10);
}

TAnswer ReadRegisters(const TSlaveState& state, std::span<const std::uint8_t> frame) {
  const unsigned first = Word(frame, 2);
  const unsigned count = Word(frame, 4);
  if (count == 0 || count > kMaxReadCount)
    return {ExceptionReply(frame[0], frame[1], kIllegalValue)};
  if (first + count > kRegisterCount) return {ExceptionReply(frame[0], frame[1], kIllegalAddress)};
  std::vector<std::uint8_t> reply{state.address, kReadHolding,
                                  static_cast<std::uint8_t>(2 * count)};
  for (unsigned r = first; r < first + count; ++r) {
    reply.push_back(static_cast<std::uint8_t>(state.registers[r] >> 8));
    reply.push_back(static_cast<std::uint8_t>(state.registers[r] & 0xFFU));
  }
  AppendCrc(reply);
  return {reply};
}

TAnswer WriteRegister(TSlaveState& state, std::span<const std::uint8_t> frame) {
  const unsigned reg = Word(frame, 2);
  const unsigned value = Word(frame, 4);
  const auto refuse = [&](std::uint8_t code) {
    return TAnswer{ExceptionReply(frame[0], frame[1], code)};
  };
  TAnswer answer{std::vector<std::uint8_t>(frame.begin(), frame.end())};
  const auto v16 = static_cast<std::uint16_t>(value);
  switch (reg) {
    case 1:
      if (value < 1 || value > 247) return refuse(kIllegalValue);
      answer.newAddress = static_cast<std::uint8_t>(value);
      break;
    case 2:
      if (!IsBaudCode(value)) return refuse(kIllegalValue);
      answer.newBaudCode = static_cast<std::uint8_t>(value);
      break;
    case 3:
      if (value > 1) return refuse(kIllegalValue);
      // "On" runs the mode chosen for the on-command; reading register 3 shows the running mode.
      state.registers[3] = value == 1 ? state.registers[5] : 0;
      return answer;
    case 4:
    case 5:
      if (!IsMode(value)) return refuse(kIllegalValue);
      break;
    case 6:
      break;
    default:  // register 0 (the id) is read-only; others do not exist
      return refuse(kIllegalAddress);
  }
  state.registers[reg] = v16;
  return answer;
}

}  // namespace

bool IsRequestFor(std::uint8_t address, std::span<const std::uint8_t> frame) {
  return frame.size() >= 4 && frame[0] == address && HasValidCrc(frame);
}

TAnswer AnswerRequest(TSlaveState& state, std::span<const std::uint8_t> frame) {
  if (!IsRequestFor(state.address, frame)) return {};
  const std::uint8_t function = frame[1];
  if (function != kReadHolding && function != kWriteSingle)
    return {ExceptionReply(frame[0], function, kIllegalFunction)};
  if (frame.size() != kRequestLength) return {ExceptionReply(frame[0], function, kIllegalValue)};
  return function == kReadHolding ? ReadRegisters(state, frame) : WriteRegister(state, frame);
}

std::vector<std::uint8_t> ExceptionReply(std::uint8_t address, std::uint8_t function,
                                         std::uint8_t code) {
  std::vector<std::uint8_t> reply{address, static_cast<std::uint8_t>(function | 0x80U), code};
  AppendCrc(reply);
  return reply;
}

void AppendCrc(std::vector<std::uint8_t>& frame) {
  const std::uint16_t crc = Crc16(frame);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFFU));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

}  // namespace sim
