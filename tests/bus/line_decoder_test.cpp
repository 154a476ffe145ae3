// The decoder of a live line on a recorded session: frames with their times in, events and the
// tally per address out. Each step below is one frame (or a pause) of the recording.
#include "bus/line_decoder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "protocol/baud_rates.h"
#include "protocol/frame.h"
#include "protocol/registers.h"
#include "protocol/reply_timing.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using TKind = TLineEvent::TKind;

std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> bytes) {
  const std::uint16_t crc = CalcCrc16(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
  bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
  return bytes;
}

std::vector<std::uint8_t> Request(std::uint8_t address, std::uint8_t function, std::uint16_t reg,
                                  std::uint16_t value) {
  const TRequestFrame frame = MakeRequestFrame(address, function, reg, value);
  return {frame.begin(), frame.end()};
}

std::vector<std::uint8_t> BlockReply(std::uint8_t address) {
  return WithCrc(
      {address, kFunctionReadRegisters, 14, 0, 14, 0, address, 0, 4, 0, 0, 0, 0, 0, 2, 0, 0});
}

struct TStep {
  const char* what;
  std::chrono::milliseconds at;     // from the start of the recording
  std::vector<std::uint8_t> bytes;  // none: a pause, the decoder told the time
  bool crcOk = true;
  std::vector<TKind> kinds;  // the events it gives, in order
};

TEST(LineDecoder, RecordedSessionGivesEachEventAndTheTallyPerAddress) {
  const std::uint8_t rate = kDefaultBaudIndex;
  ASSERT_EQ(BaudTable[rate], 9600u);
  std::vector<std::uint8_t> cut = BlockReply(6);
  cut.resize(9);
  const TStep steps[] = {
      {"a read of 5 and its block",
       0ms,
       Request(5, kFunctionReadRegisters, 0, 7),
       true,
       {TKind::Request}},
      {"", 30ms, BlockReply(5), true, {TKind::Reply}},
      {"a write to 5 whose echo never comes: the next request ends it",
       100ms,
       Request(5, kFunctionWriteRegister, kRegisterPowerUpMode, 3),
       true,
       {TKind::Request}},
      {"",
       200ms,
       Request(6, kFunctionReadRegisters, 0, 7),
       true,
       {TKind::NoAnswer, TKind::Request}},
      {"6 answers, its reply garbled", 230ms, cut, false, {TKind::Garbled}},
      {"a reply nobody asked for", 400ms, BlockReply(7), true, {TKind::Unsolicited}},
      {"a read of 9 that times out",
       500ms,
       Request(9, kFunctionReadRegisters, 0, 7),
       true,
       {TKind::Request}},
      {"",
       500ms + std::chrono::milliseconds(ReadReplyTimeoutMs(rate)) + 1ms,
       {},
       true,
       {TKind::NoAnswer}},
      {"and its late reply is not paired", 2000ms, BlockReply(9), true, {TKind::Unsolicited}},
      {"a broadcast waits for nothing",
       2100ms,
       Request(0, kFunctionWriteRegister, kRegisterOnOff, 1),
       true,
       {TKind::Request}},
      {"an exception from 5 to a read",
       2200ms,
       Request(5, kFunctionReadRegisters, 0, 7),
       true,
       {TKind::Request}},
      {"",
       2210ms,
       WithCrc({5, kFunctionReadRegisters | kExceptionBit, 2}),
       true,
       {TKind::Exception}},
      {"another function", 2300ms, WithCrc({5, 0x2B, 0x0E, 1, 0}), true, {TKind::Other}},
      {"a read of 5 left open at the end",
       2400ms,
       Request(5, kFunctionReadRegisters, 0, 7),
       true,
       {TKind::Request}},
  };

  TLineDecoder decoder(rate);
  const Clock::time_point start = Clock::now();
  for (const TStep& step : steps) {
    SCOPED_TRACE(testing::Message() << step.what << " at " << step.at.count() << " ms");
    const Clock::time_point at = start + step.at;
    std::vector<TLineEvent> events;
    if (step.bytes.empty()) {
      events = decoder.Idle(at);
    } else {
      // The frame's bytes in one read, its last byte 1 ms after its first.
      events = decoder.Take({step.bytes, step.crcOk, at, at + 1ms, std::nullopt});
    }
    ASSERT_EQ(events.size(), step.kinds.size());
    for (std::size_t i = 0; i < events.size(); ++i)
      EXPECT_EQ(events[i].kind, step.kinds[i]) << i << ": " << events[i].text;
  }
  decoder.Finish();

  const TLineTally& tally = decoder.Tally();
  EXPECT_EQ(tally.frames, 13u);
  EXPECT_EQ(tally.garbled, 1u);
  EXPECT_EQ(tally.unsolicited, 2u);
  EXPECT_EQ(tally.other, 1u);
  EXPECT_EQ(tally.open, 1u);
  EXPECT_EQ(tally.addresses.count(0), 0u);  // nobody answers a broadcast
  struct TRow {
    unsigned address, requests, answers, noAnswers, crcErrors, exceptions;
  };
  const TRow rows[] = {{5, 4, 2, 1, 0, 1}, {6, 1, 0, 0, 1, 0}, {9, 1, 0, 1, 0, 0}};
  ASSERT_EQ(tally.addresses.size(), std::size(rows));
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.address);
    const TAddressTally& got = tally.addresses.at(row.address);
    EXPECT_EQ(got.requests, row.requests);
    EXPECT_EQ(got.answers, row.answers);
    EXPECT_EQ(got.noAnswers, row.noAnswers);
    EXPECT_EQ(got.crcErrors, row.crcErrors);
    EXPECT_EQ(got.exceptions, row.exceptions);
  }
  // From the end of each request to the end of its reply (each frame's last byte 1 ms after its
  // first).
  ASSERT_EQ(tally.addresses.at(5).replyMs.size(), 2u);
  EXPECT_NEAR(tally.addresses.at(5).replyMs[0], 30.0, 0.01);
  EXPECT_NEAR(tally.addresses.at(5).replyMs[1], 10.0, 0.01);
}

// A reply handed over in the same read as the end of its request still took its own time on
// the line: the reply time is never below that.
TEST(LineDecoder, ReplyTimeIsNeverBelowTheReplysOwnLineTime) {
  TLineDecoder decoder(kDefaultBaudIndex);  // 9600 Bd: 19 bytes take 19.8 ms
  const Clock::time_point at = Clock::now();
  decoder.Take({Request(5, kFunctionReadRegisters, 0, 7), true, at, at, std::nullopt});
  const std::vector<TLineEvent> events = decoder.Take({BlockReply(5), true, at, at, std::nullopt});
  ASSERT_EQ(events.size(), 1u);
  ASSERT_TRUE(events[0].replyMs);
  EXPECT_NEAR(*events[0].replyMs, 10'000.0 * 19 / 9600, 0.01);
}

}  // namespace
