// The decoder of what a serial device server sends on a network line (telnet with the COM-port
// option). Properties: where the stream is cut does not change what comes out; a subnegotiation
// stays bounded; never more data than bytes in; data put through the encoder and back is the
// same data. The network session fed the same stream keeps the same data and answers only with
// whole negotiations.
//
// Input: the first byte picks where the rest is cut in two; the rest is the server's stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/property_check.h"
#include "network/network_session.h"
#include "network/telnet_codec.h"

namespace {

bool SameEvents(const std::vector<telnet::TEvent>& a, const std::vector<telnet::TEvent>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].kind != b[i].kind || a[i].verb != b[i].verb || a[i].option != b[i].option ||
        a[i].payload != b[i].payload) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t* stream = input + 1;
  const std::size_t length = size - 1;
  const std::size_t cut = length == 0 ? 0 : input[0] % (length + 1);

  telnet::TDecoder whole;
  telnet::Bytes data;
  std::vector<telnet::TEvent> events;
  whole.Feed(stream, length, data, events);

  telnet::TDecoder pieces;
  telnet::Bytes data2;
  std::vector<telnet::TEvent> events2;
  pieces.Feed(stream, cut, data2, events2);
  pieces.Feed(stream + cut, length - cut, data2, events2);

  CHECK(data == data2);
  CHECK(SameEvents(events, events2));
  CHECK(whole.InCommand() == pieces.InCommand());
  CHECK(data.size() <= length);
  for (const telnet::TEvent& e : events)
    CHECK(e.payload.size() <= telnet::TDecoder::kMaxPayload);
  for (const auto& e : events) {
    if (const auto reply = telnet::ComPortReplyOf(e))
      CHECK(reply->value.size() + 1 == e.payload.size());
  }

  network::TServerSession session;
  session.Reset(TNetworkProtocol::ComPortControl);
  session.Offer();
  session.Received(stream, cut);
  session.Received(stream + cut, length - cut);
  CHECK(telnet::Bytes(session.Input().begin(), session.Input().end()) == data);
  CHECK(session.Arrived() == data.size());
  const telnet::Bytes answers = session.TakeAnswers();
  CHECK(answers.size() % 3 == 0);
  for (std::size_t i = 0; i + 2 < answers.size(); i += 3) {
    CHECK(answers[i] == telnet::kIac);
    CHECK(answers[i + 1] >= telnet::kWill && answers[i + 1] <= telnet::kDont);
  }

  // The stream as data: encoded and decoded it comes back unchanged, with no event.
  telnet::Bytes encoded;
  telnet::AppendData(encoded, stream, length);
  telnet::TDecoder round;
  telnet::Bytes back;
  std::vector<telnet::TEvent> none;
  round.Feed(encoded.data(), encoded.size(), back, none);
  CHECK(none.empty());
  CHECK(back == telnet::Bytes(stream, stream + length));
  CHECK(!round.InCommand());
  return 0;
}
