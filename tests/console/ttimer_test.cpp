// TTimer: equal settings change nothing, a real change restarts an enabled countdown, and the
// timer fires again and again until disabled. Times carry wide margins: the machine may be
// loaded, so each case is built so that the right and the wrong behaviour lie far apart.
#include <gtest/gtest.h>

#include <ostream>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <functional>

#include "console/ttimer.h"
#include "tests/support/event_loop_wait.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;

struct CountdownCase {
  std::string name;
  std::uint32_t interval;  // armed at time 0
  int changeAtMs;          // when the change below is made
  std::function<void(TTimer&)> change;
  qint64 firesNoEarlierThanMs;
  qint64 firesNoLaterThanMs;
};

// Rows print as their names.
void PrintTo(const CountdownCase& row, std::ostream* out) {
  *out << row.name;
}

class TimerCountdownTest : public ::testing::TestWithParam<CountdownCase> {};

TEST_P(TimerCountdownTest, FirstFiringFollowsTheRule) {
  const CountdownCase& row = GetParam();
  TTimer timer(row.interval);
  QElapsedTimer clock;
  qint64 firedAt = -1;
  timer.OnTimer = [&] {
    if (firedAt < 0) firedAt = clock.elapsed();
    timer.SetEnabled(false);
  };
  clock.start();
  timer.SetEnabled(true);
  if (row.changeAtMs == 0) {
    row.change(timer);
  } else {
    QTimer::singleShot(row.changeAtMs, Qt::PreciseTimer, [&] { row.change(timer); });
  }
  ASSERT_TRUE(WaitWithEvents([&] { return firedAt >= 0; }, 5s));
  EXPECT_GE(firedAt, row.firesNoEarlierThanMs);
  EXPECT_LE(firedAt, row.firesNoLaterThanMs);
}

INSTANTIATE_TEST_SUITE_P(Rules, TimerCountdownTest,
                         ::testing::Values(
                             // A restart would fire at 900 ms.
                             CountdownCase{"EqualIntervalKeepsTheCountdown", 600, 300,
                                           [](TTimer& armed) { armed.SetInterval(600); }, 590, 780},
                             CountdownCase{"EqualEnabledStateKeepsTheCountdown", 600, 300,
                                           [](TTimer& armed) { armed.SetEnabled(true); }, 590, 780},
                             // Without a restart it would fire at 600 ms.
                             CountdownCase{"NewIntervalRestartsTheCountdown", 600, 300,
                                           [](TTimer& armed) { armed.SetInterval(700); }, 990,
                                           5000},
                             // The receive step cuts a running reply time-out short.
                             CountdownCase{"FiveMillisecondsCutA350Countdown", 350, 0,
                                           [](TTimer& armed) { armed.SetInterval(5); }, 4, 200}),
                         CaseName{});

TEST(TimerTest, FiresRepeatedlyUntilDisabled) {
  TTimer timer(10);
  int fired = 0;
  timer.OnTimer = [&] { ++fired; };
  timer.SetEnabled(true);
  ASSERT_TRUE(WaitWithEvents([&] { return fired >= 3; }, 5s));
  timer.SetEnabled(false);
  const int firedWhenDisabled = fired;
  QTest::qWait(100);
  EXPECT_EQ(fired, firedWhenDisabled);
  EXPECT_FALSE(timer.Running());
}

TEST(TimerTest, ChangesOnADisabledTimerStartNothing) {
  TTimer timer(350);
  int fired = 0;
  timer.OnTimer = [&] { ++fired; };
  timer.SetInterval(5);
  timer.SetEnabled(false);
  QTest::qWait(100);
  EXPECT_EQ(fired, 0);
  EXPECT_FALSE(timer.Running());
  EXPECT_EQ(timer.Interval(), 5u);
  EXPECT_FALSE(timer.Enabled());
}

TEST(TimerTest, ZeroIntervalNeverFires) {
  TTimer timer(0);
  int fired = 0;
  timer.OnTimer = [&] { ++fired; };
  timer.SetEnabled(true);
  QTest::qWait(50);
  EXPECT_EQ(fired, 0);
  timer.SetInterval(5);  // a real interval starts the enabled timer
  EXPECT_TRUE(WaitWithEvents([&] { return fired > 0; }, 5s));
}

}  // namespace
