// Cutting a listener's reads into frames, with the reads' times made up: whole frames, a pause
// inside a frame, frames without a silence between them, garbage before a frame, a frame cut
// short, a function of another family.
#include "bus/line_frames.h"

#include <gtest/gtest.h>

#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::vector<std::uint8_t> kRead = {0x05, 0x03, 0x00, 0x00, 0x00, 0x01, 0x85, 0x8E};
const std::vector<std::uint8_t> kReply = {0x05, 0x03, 0x02, 0x00, 0x0E, 0xC8, 0x40};

struct TRead {
  std::vector<std::uint8_t> bytes;  // none: a read that returned with nothing
  std::chrono::microseconds after;  // since the read before
};

struct FramesCase {
  std::string name;
  std::vector<TRead> reads;
  // Each frame as "ok"/"bad" and its length, and whether it is marked too close.
  std::vector<std::tuple<bool, std::size_t, bool>> frames;
  std::chrono::microseconds handOver{};  // the adapter's latency timer
};

// A frame's bytes one read each, a character (1.04 ms at 9600 Bd) apart.
std::vector<TRead> ByteByByte(const std::vector<std::uint8_t>& frame,
                              std::chrono::microseconds first) {
  std::vector<TRead> reads;
  for (std::size_t i = 0; i < frame.size(); ++i)
    reads.push_back({{frame[i]}, i == 0 ? first : 1042us});
  return reads;
}

std::vector<TRead> Join(std::vector<TRead> a, const std::vector<TRead>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class FrameFinding : public ::testing::TestWithParam<FramesCase> {};

TEST_P(FrameFinding, CutsTheLineIntoFrames) {
  TFrameFinder finder(9600, 5650us, 1500us, GetParam().handOver);
  Clock::time_point at = Clock::now();
  std::vector<TLineFrame> frames;
  for (const TRead& read : GetParam().reads) {
    at += read.after;
    // As the listener does: a read that brings nothing lets time pass, one that brings bytes
    // feeds them (a listener held up meanwhile never saw the silence).
    for (TLineFrame& frame : read.bytes.empty()
                                 ? finder.Idle(at)
                                 : finder.Feed(read.bytes.data(), read.bytes.size(), at))
      frames.push_back(std::move(frame));
  }
  for (TLineFrame& frame : finder.Idle(at + 1s))
    frames.push_back(std::move(frame));
  ASSERT_EQ(frames.size(), GetParam().frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto& [ok, length, tooClose] = GetParam().frames[i];
    EXPECT_EQ(frames[i].crcOk, ok) << "frame " << i;
    EXPECT_EQ(frames[i].bytes.size(), length) << "frame " << i;
    EXPECT_EQ(frames[i].tooCloseMs.has_value(), tooClose) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FrameFinding,
    ::testing::Values(
        FramesCase{"RequestAndReplyAfterTheSilence",
                   Join(ByteByByte(kRead, 0us), ByteByByte(kReply, 8000us)),
                   {{true, 8, false}, {true, 7, false}}},
        FramesCase{"PauseInsideAReplyShorterThanTheCut",
                   {{kRead, 0us}, {{0x05, 0x03, 0x02}, 9000us}, {{0x00, 0x0E, 0xC8, 0x40}, 5000us}},
                   {{true, 8, false}, {true, 7, false}}},
        FramesCase{"NoSilenceBetweenTwoFrames",
                   Join(ByteByByte(kRead, 0us), ByteByByte(kRead, 1042us)),
                   {{true, 8, false}, {true, 8, true}}},
        // A listener held up for 30 ms gets the rest of both in one read: it cannot tell.
        FramesCase{"HeldUpListenerCannotTell",
                   {{{0x05}, 0us},
                    {{0x03, 0x00, 0x00, 0x00, 0x01, 0x85, 0x8E, 0x05, 0x03, 0x00, 0x00, 0x00, 0x01,
                      0x85, 0x8E},
                     30000us}},
                   {{true, 8, false}, {true, 8, false}}},
        FramesCase{"GarbageBeforeAFrame",
                   {{{0xFF, 0x00, 0x13}, 0us}, {kReply, 1042us}},
                   {{false, 3, false}, {true, 7, false}}},
        FramesCase{"ACutShortReplyIsGarbled",
                   {{kRead, 0us}, {{0x05, 0x03, 0x02, 0x00}, 8000us}, {{}, 6000us}},
                   {{true, 8, false}, {false, 4, false}}},
        // A 16 ms adapter: the listener, held up, took the first three bytes 10 ms after their
        // tick; the rest of the request and most of the reply had crossed by the next tick.
        FramesCase{"PiecesOfAnAdapterAreNotTooClose",
                   {{{0x05, 0x03, 0x00}, 0us},
                    {{0x00, 0x00, 0x01, 0x85, 0x8E, 0x05, 0x03, 0x02, 0x00, 0x0E, 0xC8}, 6000us},
                    {{0x40}, 16000us}},
                   {{true, 8, false}, {true, 7, false}},
                   16000us},
        FramesCase{"AnotherFunctionWholeByItsCrcAtTheSilence",
                   {{{0x05, 0x2B, 0x0E, 0x01, 0x00, 0x81, 0xB7}, 0us}},
                   {{true, 7, false}}}),
    CaseName());

}  // namespace
