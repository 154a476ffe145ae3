// The telnet framing of a network line and its COM-port-control option: what the program sends
// to a serial device server (data with 0xFF doubled, option negotiation, the line settings as
// subnegotiations) and a streaming decoder for what the server sends back. Pure byte work: no
// sockets, no clock, no threads, so the same code runs on every system and under the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "serial/com_types.h"

namespace telnet {

using Bytes = std::vector<std::uint8_t>;

// Telnet commands and the options this program negotiates.
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kNop = 241;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;

inline constexpr std::uint8_t kOptionBinary = 0;
inline constexpr std::uint8_t kOptionSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptionComPort = 44;

// COM-port-option commands from the client; the server answers each with the same value + 100.
enum TComPortCommand : std::uint8_t {
  cpcSignature = 0,
  cpcSetBaudRate = 1,
  cpcSetDataSize = 2,
  cpcSetParity = 3,
  cpcSetStopSize = 4,
  cpcSetControl = 5,
  cpcNotifyLineState = 6,
  cpcNotifyModemState = 7,
  cpcFlowControlSuspend = 8,
  cpcFlowControlResume = 9,
  cpcSetLineStateMask = 10,
  cpcSetModemStateMask = 11,
  cpcPurgeData = 12,
};
inline constexpr std::uint8_t kServerOffset = 100;

// Values of SET-CONTROL this program sends.
enum TControlValue : std::uint8_t {
  ctlNoFlowControl = 1,
  ctlDtrOn = 8,
  ctlDtrOff = 9,
  ctlRtsOn = 11,
  ctlRtsOff = 12,
};

// PURGE-DATA: 1 the server's receive buffer, 2 its transmit buffer, 3 both.
inline constexpr std::uint8_t kPurgeBoth = 3;

// Appends data bytes for the line, each 0xFF doubled.
void AppendData(Bytes& out, const std::uint8_t* data, std::size_t count);
// IAC verb option.
void AppendNegotiation(Bytes& out, std::uint8_t verb, std::uint8_t option);
// IAC SB COM-PORT-OPTION command value IAC SE, 0xFF in the value doubled.
void AppendComPortCommand(Bytes& out, std::uint8_t command, const Bytes& value);

// The option's codes for the line settings.
Bytes BaudRateValue(std::uint32_t rate);  // four bytes, most significant first
std::uint8_t DataSizeCode(int dataBits);  // 5..8 as they are
std::uint8_t ParityCode(TParityBits parity);
std::uint8_t StopSizeCode(TStopBits stopBits);

// One thing from the server that is not a data byte.
struct TEvent {
  enum class Kind { Negotiation, Subnegotiation, Command };
  Kind kind = Kind::Command;
  std::uint8_t verb = 0;    // WILL/WONT/DO/DONT, SB for a subnegotiation, else the command byte
  std::uint8_t option = 0;  // the option negotiated or subnegotiated
  Bytes payload;            // a subnegotiation's bytes after the option, 0xFF undoubled
};

// A server's answer to a COM-port-option command: the command (server code, 100..112) and its
// value. Empty when the event is not a COM-port-option subnegotiation with a command byte.
struct TComPortReply {
  std::uint8_t command = 0;
  Bytes value;
};
std::optional<TComPortReply> ComPortReplyOf(const TEvent& event);

// Separates the byte stream from the server into data and telnet events. A command may be split
// across Feed calls at any byte. A subnegotiation longer than kMaxPayload keeps its first bytes;
// IAC followed by anything but IAC or SE inside one ends it unfinished and is read as a command.
class TDecoder {
 public:
  static constexpr std::size_t kMaxPayload = 64;

  void Feed(const std::uint8_t* bytes, std::size_t count, Bytes& data, std::vector<TEvent>& events);
  // True while a command or subnegotiation has begun and not ended.
  bool InCommand() const { return state_ != State::Data; }

 private:
  enum class State { Data, Iac, Option, SbOption, SbData, SbIac };
  void Command(std::uint8_t byte, std::vector<TEvent>& events);

  State state_ = State::Data;
  std::uint8_t verb_ = 0;
  TEvent sb_;
};

}  // namespace telnet
