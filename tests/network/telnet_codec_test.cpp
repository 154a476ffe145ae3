// The telnet framing of network lines: what goes to a serial device server and how its stream is
// taken apart, whole and cut at every byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "network/telnet_codec.h"

namespace {

using telnet::Bytes;
using telnet::TDecoder;
using telnet::TEvent;

struct Decoded {
  Bytes data;
  std::vector<TEvent> events;
};

// Decodes the stream fed in pieces cut at the given offsets.
Decoded Decode(const Bytes& stream, const std::vector<std::size_t>& cuts = {}) {
  TDecoder decoder;
  Decoded d;
  std::size_t from = 0;
  std::vector<std::size_t> ends = cuts;
  ends.push_back(stream.size());
  for (std::size_t end : ends) {
    decoder.Feed(stream.data() + from, end - from, d.data, d.events);
    from = end;
  }
  return d;
}

TEST(TelnetEncode, DoublesEveryFfAndNothingElse) {
  const Bytes frame = {0x01, 0xFF, 0x03, 0xFF, 0xFF};
  Bytes out;
  telnet::AppendData(out, frame.data(), frame.size());
  EXPECT_EQ(out, (Bytes{0x01, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Decode(out).data, frame);
}

TEST(TelnetEncode, ComPortCommandsAsSubnegotiations) {
  struct Case {
    const char* name;
    std::uint8_t command;
    Bytes value;
    Bytes expected;
  };
  const Case cases[] = {
      {"rate 9600",
       telnet::cpcSetBaudRate,
       telnet::BaudRateValue(9600),
       {255, 250, 44, 1, 0, 0, 0x25, 0x80, 255, 240}},
      // 0xFF inside a value is doubled as in data (a custom rate whose low byte is 255).
      {"rate 0x1FF",
       telnet::cpcSetBaudRate,
       telnet::BaudRateValue(0x1FF),
       {255, 250, 44, 1, 0, 0, 1, 255, 255, 255, 240}},
      {"8 data bits",
       telnet::cpcSetDataSize,
       {telnet::DataSizeCode(8)},
       {255, 250, 44, 2, 8, 255, 240}},
      {"even parity",
       telnet::cpcSetParity,
       {telnet::ParityCode(prEven)},
       {255, 250, 44, 3, 3, 255, 240}},
      {"1.5 stop bits",
       telnet::cpcSetStopSize,
       {telnet::StopSizeCode(sbOne5StopBits)},
       {255, 250, 44, 4, 3, 255, 240}},
      {"DTR off", telnet::cpcSetControl, {telnet::ctlDtrOff}, {255, 250, 44, 5, 9, 255, 240}},
      {"purge both", telnet::cpcPurgeData, {telnet::kPurgeBoth}, {255, 250, 44, 12, 3, 255, 240}},
  };
  for (const Case& c : cases) {
    Bytes out;
    telnet::AppendComPortCommand(out, c.command, c.value);
    EXPECT_EQ(out, c.expected) << c.name;
    // What a server sends back has the same shape: the decoder gives the value back unharmed.
    const Decoded d = Decode(out);
    ASSERT_EQ(d.events.size(), 1u) << c.name;
    const auto reply = telnet::ComPortReplyOf(d.events[0]);
    ASSERT_TRUE(reply) << c.name;
    EXPECT_EQ(reply->command, c.command) << c.name;
    EXPECT_EQ(reply->value, c.value) << c.name;
    EXPECT_TRUE(d.data.empty()) << c.name;
  }
}

TEST(TelnetEncode, LineSettingCodes) {
  EXPECT_EQ(telnet::ParityCode(prNone), 1);
  EXPECT_EQ(telnet::ParityCode(prOdd), 2);
  EXPECT_EQ(telnet::ParityCode(prMark), 4);
  EXPECT_EQ(telnet::ParityCode(prSpace), 5);
  EXPECT_EQ(telnet::StopSizeCode(sbOneStopBit), 1);
  EXPECT_EQ(telnet::StopSizeCode(sbTwoStopBits), 2);
  EXPECT_EQ(telnet::DataSizeCode(5), 5);
  EXPECT_EQ(telnet::BaudRateValue(115200), (Bytes{0, 0x01, 0xC2, 0x00}));
}

// A server's stream: data mixed with negotiations, notifications, a NOP and a doubled 0xFF.
const Bytes kServerStream = {
    0x01, 0x03,                                              // data
    255,  251,  0,                                           // WILL BINARY
    0x02, 0xFF, 0xFF,                                        // data holding 0xFF
    255,  250,  44,   107, 0x30, 255, 240,                   // NOTIFY-MODEMSTATE
    255,  241,                                               // NOP
    0xC4,                                                    // data
    255,  250,  44,   101, 0,    0,   0x4B, 0x00, 255, 240,  // rate 19200 confirmed
    255,  253,  44,                                          // DO COM-PORT-OPTION
    0x0B,                                                    // data
};

void ExpectServerStream(const Decoded& d, const std::string& where) {
  EXPECT_EQ(d.data, (Bytes{0x01, 0x03, 0x02, 0xFF, 0xC4, 0x0B})) << where;
  ASSERT_EQ(d.events.size(), 5u) << where;
  EXPECT_EQ(d.events[0].kind, TEvent::Kind::Negotiation) << where;
  EXPECT_EQ(d.events[0].verb, telnet::kWill) << where;
  EXPECT_EQ(d.events[0].option, telnet::kOptionBinary) << where;
  const auto modem = telnet::ComPortReplyOf(d.events[1]);
  ASSERT_TRUE(modem) << where;
  EXPECT_EQ(modem->command, telnet::cpcNotifyModemState + telnet::kServerOffset) << where;
  EXPECT_EQ(d.events[2].kind, TEvent::Kind::Command) << where;
  EXPECT_EQ(d.events[2].verb, telnet::kNop) << where;
  const auto rate = telnet::ComPortReplyOf(d.events[3]);
  ASSERT_TRUE(rate) << where;
  EXPECT_EQ(rate->value, telnet::BaudRateValue(19200)) << where;
  EXPECT_EQ(d.events[4].verb, telnet::kDo) << where;
  EXPECT_EQ(d.events[4].option, telnet::kOptionComPort) << where;
}

TEST(TelnetDecode, SeparatesDataFromCommandsWhole) {
  ExpectServerStream(Decode(kServerStream), "whole");
}

TEST(TelnetDecode, SeparatesDataFromCommandsCutAtEveryByte) {
  for (std::size_t cut = 1; cut < kServerStream.size(); ++cut) {
    ExpectServerStream(Decode(kServerStream, {cut}), "cut at " + std::to_string(cut));
  }
  std::vector<std::size_t> everyByte;
  for (std::size_t i = 1; i < kServerStream.size(); ++i)
    everyByte.push_back(i);
  ExpectServerStream(Decode(kServerStream, everyByte), "one byte at a time");
}

TEST(TelnetDecode, OddInput) {
  struct Case {
    const char* name;
    Bytes stream;
    Bytes data;
    std::size_t events;
  };
  const Case cases[] = {
      // A subnegotiation broken off by another command: dropped, the command taken.
      {"subnegotiation broken off", {255, 250, 44, 101, 255, 253, 3, 0x07}, {0x07}, 1},
      {"empty subnegotiation", {255, 250, 44, 255, 240, 0x07}, {0x07}, 1},
      {"stream ends inside a command", {0x07, 255, 250, 44}, {0x07}, 0},
      {"long subnegotiation kept bounded",
       [] {
         Bytes b = {255, 250, 44};
         b.insert(b.end(), 1000, 0x55);
         b.insert(b.end(), {255, 240, 0x07});
         return b;
       }(),
       {0x07},
       1},
  };
  for (const Case& c : cases) {
    const Decoded d = Decode(c.stream);
    EXPECT_EQ(d.data, c.data) << c.name;
    EXPECT_EQ(d.events.size(), c.events) << c.name;
    for (const TEvent& e : d.events)
      EXPECT_LE(e.payload.size(), TDecoder::kMaxPayload) << c.name;
  }
}

}  // namespace
