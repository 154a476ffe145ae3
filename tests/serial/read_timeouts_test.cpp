// The read time-outs of a port as one read carries them out, on every device layer.
#include <gtest/gtest.h>

#include "serial/read_timeouts.h"

namespace {

constexpr std::uint32_t kMax = kMaxTimeout;

struct TCase {
  const char* name;
  TTimeoutSettings timeouts;  // only the three read values matter
  int count;
  TReadTimeouts expected;
};

TTimeoutSettings Read(std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant) {
  TTimeoutSettings t;
  t.readInterval = interval;
  t.readTotalMultiplier = multiplier;
  t.readTotalConstant = constant;
  return t;
}

TEST(ReadTimeouts, TheSpecialModesAndTheBoundedRead) {
  const TCase cases[] = {
      {"take what is there", Read(kMax, 0, 0), 19, {TReadMode::Immediate, {}, 0}},
      {"first bytes or the constant", Read(kMax, kMax, 350), 19, {TReadMode::FirstBytes, 350, 0}},
      // A constant of "maximum" or 0 with both maxima is no special mode: Windows waits on.
      {"both maxima, constant 0", Read(kMax, kMax, 0), 2, {TReadMode::Bounded, 2ull * kMax, 0}},
      {"both maxima, constant at its maximum",
       Read(kMax, kMax, kMax),
       1,
       {TReadMode::Bounded, 2ull * kMax, 0}},
      {"interval maximum with a constant only",
       Read(kMax, 0, 400),
       19,
       {TReadMode::Bounded, 400, 0}},
      {"the window's interval of 150 ms", Read(150, 0, 0), 19, {TReadMode::Bounded, {}, 150}},
      {"totals by count and the interval", Read(20, 10, 100), 7, {TReadMode::Bounded, 170, 20}},
      {"nothing set: wait for the count", Read(0, 0, 0), 16, {TReadMode::Bounded, {}, 0}},
  };
  for (const TCase& c : cases) {
    const TReadTimeouts got = ReadTimeoutsOf(c.timeouts, c.count);
    EXPECT_EQ(got.mode, c.expected.mode) << c.name;
    EXPECT_EQ(got.totalMs, c.expected.totalMs) << c.name;
    EXPECT_EQ(got.intervalMs, c.expected.intervalMs) << c.name;
  }
}

}  // namespace
