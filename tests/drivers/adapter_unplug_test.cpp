// The USB adapter pulled out of the machine (its device node goes away) and plugged back in:
// between exchanges, during a reply and during a search. The exchange in flight ends with its
// verdict, a command while the adapter is out says that the port cannot be opened, the program
// does not spin meanwhile, nothing stays busy, and once the adapter is back the next query works
// at the first click.
#include <QTest>

#include "protocol/link_state.h"
#include "tests/drivers/plug_control.h"
#include "tests/drivers/port_probe.h"
#include "tests/drivers/real_port_window.h"
#include "tests/support/event_loop_wait.h"

namespace {

using namespace std::chrono_literals;

class AdapterUnplug : public RealPortWindow {
 protected:
  void TearDown() override {
    // Whatever happened, the next test finds the adapter plugged in.
    if (!WaitForNode(node, true, 0ms)) {
      EXPECT_EQ(RequestPlug(share, "in"), "");
      EXPECT_TRUE(WaitForNode(node, true));
    }
    RealPortWindow::TearDown();
  }

  void PullOut() {
    ASSERT_EQ(RequestPlug(share, "out"), "");
    ASSERT_TRUE(WaitForNode(node, false)) << node << " still there";
  }
  void PlugIn() {
    ASSERT_EQ(RequestPlug(share, "in"), "");
    ASSERT_TRUE(WaitForNode(node, true)) << node << " did not come back";
  }

  std::vector<std::string> OpenFailure(const std::string& request) const {
    return {"TX : " + request, "RX :", "   : ОШИБКА ОТКРЫТИЯ ПОРТА " + port};
  }

  // While the adapter is out: a query fails at once with the open-failure line and no time-out
  // follows; the program uses next to no processor time for 3 s.
  void QueryFailsAndNothingSpins() {
    Query();
    EXPECT_EQ(Log(), OpenFailure("F7 03 00 00 00 07 10 9E "));
    EXPECT_EQ(LogColour(), "0,0,255");
    const double cpu = CpuSecondsWhileIdle(3.0);
    RecordProperty("cpu_seconds_unplugged", std::to_string(cpu));
    std::printf("CPU time over 3 s with the adapter out: %.3f s\n", cpu);
    EXPECT_LT(cpu, 0.3) << "the program spins while the adapter is out";
    EXPECT_EQ(Log(), OpenFailure("F7 03 00 00 00 07 10 9E ")) << "no time-out after a failed open";
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(ProbeAsRoot(port), "Unable to open com port (win error code: 2)\ncode 2\n");
  }

  // After the re-plug: the first click of ЗАПРОС ПАРАМЕТРОВ gets its answer, and the exchange
  // clears BusyFlag, which the failed open left set.
  void FirstQueryWorks() {
    SetRates(3);
    SetAddress(247);
    Query();
    ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
    EXPECT_EQ(Log().front(), "TX : F7 03 00 00 00 07 10 9E ");
    EXPECT_EQ(Log().back(), kOk) << testing::PrintToString(Log());
    EXPECT_EQ(LinkState.BusyFlag, 0);
    EXPECT_EQ(LinkState.PendingRequest, 0);
    EXPECT_FALSE(form->ComPort1->Connected());
  }
};

TEST_F(AdapterUnplug, BetweenExchanges) {
  Query();
  ASSERT_TRUE(WaitForVerdict());
  ASSERT_EQ(Log().back(), kOk);
  PullOut();
  QueryFailsAndNothingSpins();
  EXPECT_EQ(LinkState.BusyFlag, 1) << "a failed send leaves BusyFlag to the next exchange's end";
  PlugIn();
  FirstQueryWorks();
}

TEST_F(AdapterUnplug, DuringAReply) {
  // The slow talker at 1200 Bd sends its reply over more than a second.
  SetRates(0);
  SetAddress(200);
  Query();
  ASSERT_TRUE(WaitWithEvents([&] { return TimesHeard("C8 03 00 00 00 07 15 91 ") > 0; }, 10s));
  const std::size_t replies = Trace().size();
  PullOut();
  RecordProperty("trace_lines_before_unplug", std::to_string(replies));
  // The read in progress fails with the device; the bytes it had are not handed on, and the
  // reply time-out ends the exchange.
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : C8 03 00 00 00 07 15 91 ", "RX :", kTimeOut}));
  EXPECT_EQ(LinkState.BusyFlag, 0);
  SetRates(3);
  SetAddress(247);
  QueryFailsAndNothingSpins();
  PlugIn();
  FirstQueryWorks();
}

TEST_F(AdapterUnplug, DuringASearch) {
  SetRates(1);  // at 2400 Bd only the device at 232 would answer: the scan runs long
  form->CustomItem6->trigger();  // Delay 100ms
  form->CustomItem4->trigger();  // Start
  ASSERT_TRUE(WaitWithEvents([&] { return form->TeSpinEdit1->value() >= 3; }, 20s));
  PullOut();
  ASSERT_TRUE(WaitForLine("   : ОШИБКА ОТКРЫТИЯ ПОРТА " + port, 20s))
      << testing::PrintToString(Log());
  EXPECT_EQ(LinkState.SearchState, kSearchRunning) << "the scan stalls, it does not end";
  const int stalledAt = form->TeSpinEdit1->value();
  const double cpu = CpuSecondsWhileIdle(3.0);
  std::printf("CPU time over 3 s with the adapter out during a search: %.3f s\n", cpu);
  EXPECT_LT(cpu, 0.3) << "the program spins while the search is stalled";
  EXPECT_EQ(form->TeSpinEdit1->value(), stalledAt) << "the scan went on without the adapter";
  Query();  // ignored while the search runs
  EXPECT_EQ(Log().back(), "   : ОШИБКА ОТКРЫТИЯ ПОРТА " + port);
  form->CustomItem4->trigger();  // Stop
  EXPECT_EQ(form->CustomItem4->text().toStdString(), "Start");
  PlugIn();
  FirstQueryWorks();
}

}  // namespace
