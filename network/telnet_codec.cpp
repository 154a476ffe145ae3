#include "network/telnet_codec.h"

namespace telnet {

void AppendData(Bytes& out, const std::uint8_t* data, std::size_t count) {
  out.reserve(out.size() + count);
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(data[i]);
    if (data[i] == kIac) out.push_back(kIac);
  }
}

void AppendNegotiation(Bytes& out, std::uint8_t verb, std::uint8_t option) {
  out.insert(out.end(), {kIac, verb, option});
}

void AppendComPortCommand(Bytes& out, std::uint8_t command, const Bytes& value) {
  out.insert(out.end(), {kIac, kSb, kOptionComPort, command});
  AppendData(out, value.data(), value.size());
  out.insert(out.end(), {kIac, kSe});
}

Bytes BaudRateValue(std::uint32_t rate) {
  return {static_cast<std::uint8_t>(rate >> 24), static_cast<std::uint8_t>(rate >> 16),
          static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate)};
}

std::uint8_t DataSizeCode(int dataBits) {
  return static_cast<std::uint8_t>(dataBits < 5 ? 5 : dataBits > 8 ? 8 : dataBits);
}

std::uint8_t ParityCode(TParityBits parity) {
  switch (parity) {
    case prNone:
      return 1;
    case prOdd:
      return 2;
    case prEven:
      return 3;
    case prMark:
      return 4;
    case prSpace:
      return 5;
  }
  return 1;
}

std::uint8_t StopSizeCode(TStopBits stopBits) {
  switch (stopBits) {
    case sbOneStopBit:
      return 1;
    case sbTwoStopBits:
      return 2;
    case sbOne5StopBits:
      return 3;
  }
  return 1;
}

std::optional<TComPortReply> ComPortReplyOf(const TEvent& event) {
  if (event.kind != TEvent::Kind::Subnegotiation || event.option != kOptionComPort ||
      event.payload.empty()) {
    return std::nullopt;
  }
  return TComPortReply{event.payload[0], Bytes(event.payload.begin() + 1, event.payload.end())};
}

void TDecoder::Command(std::uint8_t byte, std::vector<TEvent>& events) {
  switch (byte) {
    case kSb:
      state_ = State::SbOption;
      return;
    case kWill:
    case kWont:
    case kDo:
    case kDont:
      verb_ = byte;
      state_ = State::Option;
      return;
    default:
      events.push_back({TEvent::Kind::Command, byte, 0, {}});
      break;
  }
  state_ = State::Data;
}

void TDecoder::Feed(const std::uint8_t* bytes, std::size_t count, Bytes& data,
                    std::vector<TEvent>& events) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t b = bytes[i];
    switch (state_) {
      case State::Data:
        if (b == kIac) {
          state_ = State::Iac;
        } else {
          data.push_back(b);
        }
        break;
      case State::Iac:
        if (b == kIac) {
          data.push_back(kIac);
          state_ = State::Data;
        } else {
          Command(b, events);
        }
        break;
      case State::Option:
        events.push_back({TEvent::Kind::Negotiation, verb_, b, {}});
        state_ = State::Data;
        break;
      case State::SbOption:
        sb_ = {TEvent::Kind::Subnegotiation, kSb, b, {}};
        state_ = State::SbData;
        break;
      case State::SbData:
        if (b == kIac) {
          state_ = State::SbIac;
        } else if (sb_.payload.size() < kMaxPayload) {
          sb_.payload.push_back(b);
        }
        break;
      case State::SbIac:
        if (b == kIac) {
          if (sb_.payload.size() < kMaxPayload) sb_.payload.push_back(kIac);
          state_ = State::SbData;
        } else if (b == kSe) {
          events.push_back(std::move(sb_));
          sb_ = {};
          state_ = State::Data;
        } else {
          // A server that breaks off a subnegotiation: drop it and take the command.
          sb_ = {};
          Command(b, events);
        }
        break;
    }
  }
}

}  // namespace telnet
