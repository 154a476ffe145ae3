// The protocol side of a network line, without sockets: a server's bytes fed in, what the session
// answers and concludes read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "network/network_session.h"

namespace {

using network::TServerSession;
using telnet::Bytes;

Bytes Negotiation(std::uint8_t verb, std::uint8_t option) {
  Bytes out;
  telnet::AppendNegotiation(out, verb, option);
  return out;
}

Bytes ServerAnswer(std::uint8_t command, const Bytes& value) {
  Bytes out;
  telnet::AppendComPortCommand(out, static_cast<std::uint8_t>(command + telnet::kServerOffset),
                               value);
  return out;
}

void Feed(TServerSession& session, const Bytes& bytes) {
  session.Received(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> Input(TServerSession& session) {
  return {session.Input().begin(), session.Input().end()};
}

TEST(NetworkSession, AgreesToTheComPortOptionAndRefusesEcho) {
  TServerSession session;
  session.Reset(TNetworkProtocol::ComPortControl);
  session.Offer();
  Bytes stream = Negotiation(telnet::kDo, telnet::kOptionComPort);
  const Bytes echo = Negotiation(telnet::kWill, 1);  // ECHO: requests would read as replies
  stream.insert(stream.end(), echo.begin(), echo.end());
  Feed(session, stream);
  EXPECT_TRUE(session.ComPortAgreed());
  EXPECT_FALSE(session.ComPortRefused());
  EXPECT_EQ(session.TakeAnswers(), Negotiation(telnet::kDont, 1));
  EXPECT_TRUE(session.TakeAnswers().empty());  // taken once
  EXPECT_TRUE(session.Input().empty());

  TServerSession refusing;
  refusing.Reset(TNetworkProtocol::ComPortControl);
  refusing.Offer();
  Feed(refusing, Negotiation(telnet::kDont, telnet::kOptionComPort));
  EXPECT_TRUE(refusing.ComPortRefused());
  EXPECT_EQ(refusing.TakeAnswers(), Negotiation(telnet::kWont, telnet::kOptionComPort));
}

TEST(NetworkSession, SettingsAreFramedOnceTheFourAnswersCome) {
  TServerSession session;
  session.Reset(TNetworkProtocol::ComPortControl);
  TLineSettings settings;
  settings.rate = 19200;
  settings.controlDTR = dtrEnable;
  const network::TSettingsRequest request = session.SettingsRequest(settings);
  EXPECT_EQ(request.controls, 3u);  // no flow control, DTR, RTS

  Feed(session, ServerAnswer(telnet::cpcSetBaudRate, telnet::BaudRateValue(19200)));
  Feed(session, ServerAnswer(telnet::cpcSetDataSize, {8}));
  Feed(session, ServerAnswer(telnet::cpcSetParity, {1}));
  EXPECT_FALSE(session.Framed(request));
  // A notification between the answers is no answer, and no data.
  Feed(session, ServerAnswer(telnet::cpcNotifyModemState, {0x30}));
  EXPECT_FALSE(session.Framed(request));
  Feed(session, ServerAnswer(telnet::cpcSetStopSize, {1}));
  EXPECT_TRUE(session.Framed(request));
  EXPECT_TRUE(session.RateAsAsked(request));
  EXPECT_FALSE(session.ControlsConfirmed(request));
  EXPECT_TRUE(session.Input().empty());

  // A server that set another rate than asked for.
  const network::TSettingsRequest again = session.SettingsRequest(settings);
  Feed(session, ServerAnswer(telnet::cpcSetBaudRate, telnet::BaudRateValue(9600)));
  EXPECT_FALSE(session.RateAsAsked(again));
}

TEST(NetworkSession, DataIsDoubledOnTelnetOnlyAndCountedByDataBytes) {
  const std::uint8_t frame[] = {0x01, 0xFF, 0x02};
  TServerSession telnetLine;
  telnetLine.Reset(TNetworkProtocol::ComPortControl);
  EXPECT_EQ(telnetLine.EncodeData(frame, 3), (Bytes{0x01, 0xFF, 0xFF, 0x02}));
  // Sent bytes to data bytes: half of a doubled 0xFF is not the byte.
  EXPECT_EQ(telnetLine.DataBytesSent(frame, 3, 2), 1);
  EXPECT_EQ(telnetLine.DataBytesSent(frame, 3, 3), 2);
  EXPECT_EQ(telnetLine.DataBytesSent(frame, 3, 4), 3);

  TServerSession raw;
  raw.Reset(TNetworkProtocol::Raw);
  EXPECT_EQ(raw.EncodeData(frame, 3), (Bytes{0x01, 0xFF, 0x02}));
  EXPECT_EQ(raw.DataBytesSent(frame, 3, 2), 2);
  const Bytes iac = {0xFF, 0xFF};
  raw.Received(iac.data(), iac.size());  // a raw line takes 0xFF as it comes
  EXPECT_EQ(Input(raw), (std::vector<std::uint8_t>{0xFF, 0xFF}));
}

}  // namespace
