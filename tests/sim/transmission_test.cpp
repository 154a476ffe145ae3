#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "sim/crc16.h"
#include "sim/line_timing.h"
#include "sim/transmission.h"
#include "tests/sim/tiny_master.h"

namespace {

using namespace std::chrono_literals;

const Bytes kReply = FromHex("F7 03 0E 00 0E 00 00 00 00 00 02 00 03 00 06 00 01 18 08");

TEST(LineTiming, CharacterAndSilenceTimesFollowTheRate) {
  EXPECT_EQ(sim::RateOfBaudCode(1), 1200U);
  EXPECT_EQ(sim::RateOfBaudCode(5), 14400U);
  EXPECT_EQ(sim::RateOfBaudCode(8), 57600U);
  EXPECT_EQ(sim::RateOfBaudCode(0), 0U);
  EXPECT_EQ(sim::RateOfBaudCode(9), 0U);
  EXPECT_EQ(sim::CharTime(9600), 1'041'666ns);
  EXPECT_EQ(sim::FrameSilence(9600), 3'645'833ns);
  EXPECT_EQ(sim::CharTime(1200), 8'333'333ns);
}

TEST(Pace, HandsByteKOverOneCharacterAfterItStartsAtKCharactersPlusTheGaps) {
  const sim::Clock::time_point start{};
  const std::vector<std::size_t> gaps = {2, 4};
  const sim::TTransmission t = sim::Pace(FromHex("01 02 03 04 05"), start, 1ms, gaps, 10ms);
  ASSERT_EQ(t.bytes.size(), 5U);
  const std::chrono::milliseconds expected[] = {1ms, 2ms, 13ms, 14ms, 25ms};
  for (std::size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(t.bytes[k].at - start, expected[k]) << "byte " << k;
    EXPECT_EQ(t.bytes[k].value, k + 1);
  }
  EXPECT_EQ(t.start, start);
  EXPECT_EQ(t.end - start, 25ms);
}

TEST(ContentFaults, CorruptionBreaksTheCrcAtTheChosenByteOnly) {
  std::mt19937 random(1);
  sim::TFaults faults;
  faults.corruptByte = 5;
  const Bytes wire = sim::ApplyContentFaults(kReply, faults, random);
  ASSERT_EQ(wire.size(), kReply.size());
  EXPECT_FALSE(sim::HasValidCrc(wire));
  for (std::size_t i = 0; i < wire.size(); ++i)
    EXPECT_EQ(wire[i] != kReply[i], i == 5) << "byte " << i;

  faults.corruptByte = 1000;  // past the end: the last byte
  EXPECT_NE(sim::ApplyContentFaults(kReply, faults, random).back(), kReply.back());
}

TEST(ContentFaults, GarbageGoesBeforeOrInsteadAndExtraBytesAfter) {
  std::mt19937 random(1);
  sim::TFaults faults;
  faults.garbageBytes = 100;
  faults.extraBytes = {0xAA, 0xBB};
  Bytes wire = sim::ApplyContentFaults(kReply, faults, random);
  ASSERT_EQ(wire.size(), 100 + kReply.size() + 2);
  EXPECT_TRUE(std::equal(kReply.begin(), kReply.end(), wire.begin() + 100));
  EXPECT_EQ(wire[wire.size() - 2], 0xAA);
  EXPECT_EQ(wire.back(), 0xBB);

  faults.garbage = sim::TGarbage::kInstead;
  faults.extraBytes.clear();
  wire = sim::ApplyContentFaults(kReply, faults, random);
  EXPECT_EQ(wire.size(), 100U);
  EXPECT_EQ(std::search(wire.begin(), wire.end(), kReply.begin(), kReply.end()), wire.end());

  EXPECT_TRUE(sim::ApplyContentFaults({}, sim::TFaults{}, random).empty());
}

}  // namespace
