// Where a reply ends, from its bytes: whole frames of every length the function gives, the
// beginnings a USB adapter hands over, and bytes that can never become the awaited reply; the
// adapter's copy of a request; the silence chosen from --gap and the adapter's latency.
#include "bus/reply_framing.h"

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes WithCrc(Bytes bytes) {
  const std::uint16_t crc = CalcCrc16(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
  bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
  return bytes;
}

Bytes Head(const Bytes& bytes, std::size_t count) {
  return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count)};
}

Bytes Flipped(Bytes bytes, std::size_t at) {
  bytes[at] ^= 0xFF;
  return bytes;
}

// A parameter block of the family: 7 registers, 19 bytes.
const Bytes kBlock = WithCrc({0x05, 0x03, 0x0E, 0, 14, 0, 5, 0, 4, 0, 0, 0, 0, 0, 2, 0, 0});
const Bytes kShortBlock = WithCrc({0x05, 0x03, 0x0C, 0, 14, 0, 5, 0, 4, 0, 0, 0, 0, 0, 2});
const Bytes kException = WithCrc({0x05, 0x83, 0x02});
const Bytes kWriteEcho = WithCrc({0x05, 0x06, 0x00, 0x03, 0x00, 0x01});

struct ReplyCase {
  std::string name;
  Bytes bytes;
  std::uint8_t function;
  std::size_t expectedLength;
  TFrameVerdict verdict;
};

class JudgeReplyTable : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(JudgeReplyTable, Verdict) {
  const ReplyCase& c = GetParam();
  EXPECT_EQ(JudgeReply(c.bytes, c.function, c.expectedLength), c.verdict);
}

constexpr auto kComplete = TFrameVerdict::kComplete;
constexpr auto kNeedsMore = TFrameVerdict::kNeedsMore;
constexpr auto kCannotBe = TFrameVerdict::kCannotBe;

INSTANTIATE_TEST_SUITE_P(
    Cases, JudgeReplyTable,
    ::testing::Values(
        ReplyCase{"NothingYet", {}, 3, 19, kNeedsMore},
        ReplyCase{"AddressOnly", Head(kBlock, 1), 3, 19, kNeedsMore},
        ReplyCase{"FirstPieceOfABlock", Head(kBlock, 4), 3, 19, kNeedsMore},
        ReplyCase{"AllButTheLastByte", Head(kBlock, 18), 3, 19, kNeedsMore},
        ReplyCase{"WholeBlock", kBlock, 3, 19, kComplete},
        ReplyCase{"BlockFromAnotherAddress", WithCrc({0x07, 0x03, 0x02, 0, 14}), 3, 19, kComplete},
        // Its byte count says 17: whole, although the caller expected 19.
        ReplyCase{"ShorterByItsByteCount", kShortBlock, 3, 19, kComplete},
        // The first five bytes hold a CRC that checks, but the byte count wants 19.
        ReplyCase{"ChecksumByChanceBeforeTheEnd", WithCrc({0x05, 0x03, 0x0E}), 3, 19, kNeedsMore},
        ReplyCase{"CorruptedData", Flipped(kBlock, 4), 3, 19, kCannotBe},
        ReplyCase{"CorruptedCrc", Flipped(kBlock, 18), 3, 19, kCannotBe},
        ReplyCase{"CorruptedByteCountMakesItLonger", Flipped(kBlock, 2), 3, 19, kNeedsMore},
        ReplyCase{"WholeException", kException, 3, 19, kComplete},
        ReplyCase{"ExceptionBegun", Head(kException, 3), 3, 19, kNeedsMore},
        ReplyCase{"ExceptionCorrupted", Flipped(kException, 2), 3, 19, kCannotBe},
        ReplyCase{"ExceptionOfAnotherFunction", WithCrc({0x05, 0x86, 0x02}), 3, 19, kCannotBe},
        ReplyCase{"AnotherFunction", Head(WithCrc({0x05, 0x04, 0x02, 0, 1}), 3), 3, 19, kCannotBe},
        ReplyCase{"WriteEchoBegun", Head(kWriteEcho, 6), 6, 8, kNeedsMore},
        ReplyCase{"WholeWriteEcho", kWriteEcho, 6, 8, kComplete},
        // A function whose length the judge does not know: the caller's length.
        ReplyCase{"UnknownFunctionAtTheExpectedLength", WithCrc({0x05, 0x41, 1, 2}), 0x41, 6,
                  kComplete},
        ReplyCase{"UnknownFunctionShort", Head(WithCrc({0x05, 0x41, 1, 2}), 4), 0x41, 6,
                  kNeedsMore}),
    CaseName());

TEST(JudgeEcho, CopyOfTheRequestInPieces) {
  const TRequestFrame request = MakeRequestFrame(5, kFunctionReadRegisters, 0, 7);
  const Bytes copy(request.begin(), request.end());
  EXPECT_EQ(JudgeEcho({}, request), kNeedsMore);
  EXPECT_EQ(JudgeEcho(Head(copy, 3), request), kNeedsMore);
  EXPECT_EQ(JudgeEcho(copy, request), kComplete);
  // The reply came instead of a copy: it differs from the request at its third byte.
  EXPECT_EQ(JudgeEcho(Head(kBlock, 4), request), kCannotBe);
}

struct GapCase {
  std::string name;
  std::optional<std::chrono::milliseconds> given;
  std::optional<std::chrono::milliseconds> latency;
  std::chrono::milliseconds gap;
};

class FrameGapTable : public ::testing::TestWithParam<GapCase> {};

TEST_P(FrameGapTable, Gap) {
  EXPECT_EQ(FrameGap(GetParam().given, GetParam().latency), GetParam().gap);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameGapTable,
    ::testing::Values(GapCase{"NothingKnown", std::nullopt, std::nullopt, kDefaultGap},
                      GapCase{"GivenAlone", 5ms, std::nullopt, 5ms},
                      GapCase{"Latency16", std::nullopt, 16ms, 16ms + kSilenceMargin},
                      GapCase{"Latency1", std::nullopt, 1ms, 1ms + kSilenceMargin},
                      GapCase{"GivenBelowTheLatencyIsRaised", 5ms, 32ms, 32ms + kSilenceMargin},
                      GapCase{"GivenAboveTheLatencyKept", 100ms, 16ms, 100ms}),
    CaseName());

// The default without a known latency covers two ticks of an FTDI chip at its default.
static_assert(kDefaultGap > 2 * kAssumedAdapterLatency);

}  // namespace
