#include "network/network_session.h"

namespace network {

namespace {

bool WeOffer(std::uint8_t option) {
  return option == telnet::kOptionBinary || option == telnet::kOptionSuppressGoAhead ||
         option == telnet::kOptionComPort;
}

bool WeAccept(std::uint8_t option) {
  return option == telnet::kOptionBinary || option == telnet::kOptionSuppressGoAhead;
}

}  // namespace

void TServerSession::Reset(TNetworkProtocol protocol) {
  *this = TServerSession{};
  protocol_ = protocol;
}

telnet::Bytes TServerSession::Offer() {
  telnet::Bytes offer;
  for (std::uint8_t option : {telnet::kOptionBinary, telnet::kOptionSuppressGoAhead}) {
    telnet::AppendNegotiation(offer, telnet::kWill, option);
    telnet::AppendNegotiation(offer, telnet::kDo, option);
    willSent_[option] = doSent_[option] = true;
  }
  telnet::AppendNegotiation(offer, telnet::kWill, telnet::kOptionComPort);
  willSent_[telnet::kOptionComPort] = true;
  return offer;
}

std::size_t TServerSession::Received(const std::uint8_t* bytes, std::size_t count) {
  if (!Telnet()) {
    input_.insert(input_.end(), bytes, bytes + count);
    arrived_ += count;
    return count;
  }
  telnet::Bytes data;
  std::vector<telnet::TEvent> events;
  decoder_.Feed(bytes, count, data, events);
  input_.insert(input_.end(), data.begin(), data.end());
  arrived_ += data.size();
  for (const telnet::TEvent& e : events)
    Handle(e);
  return data.size();
}

telnet::Bytes TServerSession::TakeAnswers() {
  telnet::Bytes answers = std::move(answers_);
  answers_.clear();
  return answers;
}

void TServerSession::Answer(std::uint8_t verb, std::uint8_t option) {
  telnet::AppendNegotiation(answers_, verb, option);
}

void TServerSession::Handle(const telnet::TEvent& event) {
  using Kind = telnet::TEvent::Kind;
  if (event.kind == Kind::Negotiation) {
    const std::uint8_t option = event.option;
    switch (event.verb) {
      case telnet::kDo:
        if (option == telnet::kOptionComPort) comPortAgreed_ = true;
        if (!WeOffer(option)) {
          Answer(telnet::kWont, option);
        } else if (!willSent_[option]) {
          willSent_[option] = true;
          Answer(telnet::kWill, option);
        }
        break;
      case telnet::kDont:
        if (option == telnet::kOptionComPort) comPortRefused_ = true;
        if (willSent_[option]) {
          willSent_[option] = false;
          Answer(telnet::kWont, option);
        }
        break;
      case telnet::kWill:
        // Binary and no go-ahead are wanted; anything else (echo above all, which would send our
        // requests back as if the line had answered) is refused.
        if (!WeAccept(option)) {
          Answer(telnet::kDont, option);
        } else if (!doSent_[option]) {
          doSent_[option] = true;
          Answer(telnet::kDo, option);
        }
        break;
      case telnet::kWont:
        if (doSent_[option]) {
          doSent_[option] = false;
          Answer(telnet::kDont, option);
        }
        break;
      default:
        break;
    }
    return;
  }
  // Answers to our settings are counted; notifications of line and modem state are dropped
  // (no line errors or modem lines are reported, as on a pseudo-terminal).
  if (const auto reply = telnet::ComPortReplyOf(event)) {
    const int command = reply->command - telnet::kServerOffset;
    if (command >= 0 && command < static_cast<int>(confirmations_.size())) {
      ++confirmations_[static_cast<std::size_t>(command)];
      if (command == telnet::cpcSetBaudRate) lastRateReply_ = reply->value;
    }
  }
}

telnet::Bytes TServerSession::EncodeData(const std::uint8_t* data, int count) const {
  telnet::Bytes out;
  if (count <= 0) return out;
  if (Telnet()) {
    telnet::AppendData(out, data, static_cast<std::size_t>(count));
  } else {
    out.assign(data, data + count);
  }
  return out;
}

int TServerSession::DataBytesSent(const std::uint8_t* data, int count, std::size_t sent) const {
  std::size_t encoded = 0;
  int whole = 0;
  for (int i = 0; i < count; ++i) {
    const std::size_t size = !Telnet() || data[i] != 0xFF ? 1 : 2;
    if (encoded + size > sent) break;
    encoded += size;
    ++whole;
  }
  return whole;
}

TSettingsRequest TServerSession::SettingsRequest(const TLineSettings& settings) const {
  TSettingsRequest request;
  telnet::Bytes& out = request.bytes;
  request.rate = telnet::BaudRateValue(settings.rate);
  telnet::AppendComPortCommand(out, telnet::cpcSetBaudRate, request.rate);
  telnet::AppendComPortCommand(out, telnet::cpcSetDataSize,
                               {telnet::DataSizeCode(settings.dataBits)});
  telnet::AppendComPortCommand(out, telnet::cpcSetParity, {telnet::ParityCode(settings.parity)});
  telnet::AppendComPortCommand(out, telnet::cpcSetStopSize,
                               {telnet::StopSizeCode(settings.stopBits)});
  telnet::AppendComPortCommand(out, telnet::cpcSetControl, {telnet::ctlNoFlowControl});
  request.controls = 1;
  if (settings.controlDTR != dtrHandshake) {
    const bool on = settings.controlDTR == dtrEnable;
    telnet::AppendComPortCommand(out, telnet::cpcSetControl,
                                 {on ? telnet::ctlDtrOn : telnet::ctlDtrOff});
    ++request.controls;
  }
  if (settings.controlRTS != rtsHandshake) {
    const bool on = settings.controlRTS == rtsEnable;
    telnet::AppendComPortCommand(out, telnet::cpcSetControl,
                                 {on ? telnet::ctlRtsOn : telnet::ctlRtsOff});
    ++request.controls;
  }
  request.before = confirmations_;
  return request;
}

bool TServerSession::Framed(const TSettingsRequest& request) const {
  for (int c : {telnet::cpcSetBaudRate, telnet::cpcSetDataSize, telnet::cpcSetParity,
                telnet::cpcSetStopSize}) {
    const auto i = static_cast<std::size_t>(c);
    if (confirmations_[i] == request.before[i]) return false;
  }
  return true;
}

bool TServerSession::ControlsConfirmed(const TSettingsRequest& request) const {
  return confirmations_[telnet::cpcSetControl] >=
         request.before[telnet::cpcSetControl] + request.controls;
}

telnet::Bytes TServerSession::PurgeRequest() {
  telnet::Bytes purge;
  telnet::AppendComPortCommand(purge, telnet::cpcPurgeData, {telnet::kPurgeBoth});
  return purge;
}

std::optional<std::uint64_t> WriteLimitMs(const TTimeoutSettings& t, int count) {
  if (t.writeTotalMultiplier == 0 && t.writeTotalConstant == 0) return std::nullopt;
  return std::uint64_t{t.writeTotalMultiplier} * static_cast<std::uint64_t>(count) +
         t.writeTotalConstant;
}

}  // namespace network
