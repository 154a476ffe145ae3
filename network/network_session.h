// The protocol side of a line through a serial device server, for the network line
// (network_line.cpp): what goes to the server (data, the option offer, the line settings, a
// purge) and what the server's bytes mean (data for the reader, negotiations
// answered, answers to our settings counted, notifications dropped), and the read time-outs as
// a plan for a wait loop. Pure state: no sockets, no clock, no locks; the layer holds its own
// lock around every call on a session.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "network/network_port_name.h"
#include "network/telnet_codec.h"
#include "serial/serial_device.h"

namespace network {

// A connect that does not complete in this time fails: a gateway that is switched off or behind
// a firewall that drops packets would otherwise hold the program for minutes.
inline constexpr int kConnectMs = 3000;
// The server's answer to the COM-port option, and to a rate or framing setting.
inline constexpr int kNegotiationMs = 2000;
inline constexpr int kConfirmMs = 1500;
// A control-line setting the server never confirms (ser2net on a pseudo-terminal does not) is
// waited for this long once per connection, then no more: the line needs its rate and framing.
inline constexpr int kControlConfirmMs = 300;

// One ApplyLineSettings in flight: the commands to send and what the answers are checked against.
struct TSettingsRequest {
  telnet::Bytes bytes;
  telnet::Bytes rate;  // the rate's value as sent
  std::uint32_t controls = 0;
  std::array<std::uint32_t, 13> before{};  // the answers counted when the request was made
};

// One connection's conversation with the serial device server.
class TServerSession {
 public:
  // A new connection: nothing received, nothing negotiated.
  void Reset(TNetworkProtocol protocol);
  bool Telnet() const { return protocol_ == TNetworkProtocol::ComPortControl; }

  // Sent once connected on a telnet line: WILL/DO binary and no go-ahead, WILL COM-PORT-OPTION.
  telnet::Bytes Offer();
  bool ComPortAgreed() const { return comPortAgreed_; }
  bool ComPortRefused() const { return comPortRefused_; }

  // Bytes from the server: data bytes join the input queue, the rest is handled. Returns the
  // number of data bytes added.
  std::size_t Received(const std::uint8_t* bytes, std::size_t count);
  // Answers to the server's negotiation that wait to be sent; taken by the call.
  telnet::Bytes TakeAnswers();

  std::deque<std::uint8_t>& Input() { return input_; }
  std::uint64_t Arrived() const { return arrived_; }  // data bytes received in all

  // Line data as it goes on the connection (0xFF doubled on a telnet line), and how many of
  // the count data bytes went out whole when `sent` bytes of that encoding did.
  telnet::Bytes EncodeData(const std::uint8_t* data, int count) const;
  int DataBytesSent(const std::uint8_t* data, int count, std::size_t sent) const;

  // Rate, data size, parity, stop size, no flow control at the server, and DTR and RTS as the
  // component holds them (a handshake mode leaves the line to the server).
  TSettingsRequest SettingsRequest(const TLineSettings& settings) const;
  // The rate and framing are answered since the request was made.
  bool Framed(const TSettingsRequest& request) const;
  // The server set the rate asked for (it answers with the rate it set).
  bool RateAsAsked(const TSettingsRequest& request) const { return lastRateReply_ == request.rate; }
  bool ControlsConfirmed(const TSettingsRequest& request) const;
  // The one wait for control-line answers of a connection has been spent without them.
  bool ControlWaitSpent() const { return controlWaitSpent_; }
  void SpendControlWait() { controlWaitSpent_ = true; }

  // Drops the server's buffers towards and from the line.
  static telnet::Bytes PurgeRequest();

 private:
  void Handle(const telnet::TEvent& event);
  void Answer(std::uint8_t verb, std::uint8_t option);

  TNetworkProtocol protocol_ = TNetworkProtocol::Raw;
  telnet::TDecoder decoder_;
  std::deque<std::uint8_t> input_;
  std::uint64_t arrived_ = 0;
  telnet::Bytes answers_;
  std::array<bool, 256> willSent_{};
  std::array<bool, 256> doSent_{};
  bool comPortAgreed_ = false;
  bool comPortRefused_ = false;
  std::array<std::uint32_t, 13> confirmations_{};  // server answers counted by command
  telnet::Bytes lastRateReply_;
  bool controlWaitSpent_ = false;
};

// The write time-outs: the whole write's limit, none when both are 0.
std::optional<std::uint64_t> WriteLimitMs(const TTimeoutSettings& timeouts, int count);

}  // namespace network
