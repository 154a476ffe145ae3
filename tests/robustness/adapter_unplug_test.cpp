// The adapter pulled out: during a reply, or instead of one. The exchange in flight ends with its
// verdict, the next one reports that the port cannot be opened, and once the adapter is back
// under its name the next query works again.
#include "protocol/link_state.h"
#include "tests/support/event_loop_wait.h"
#include "tests/robustness/faulty_line.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;

struct UnplugCase {
  const char* name;
  bool midReply;  // pulled out after the first bytes of the reply; else instead of the reply
  std::string verdict;
};

void PrintTo(const UnplugCase& c, std::ostream* os) {
  *os << c.name;
}

class AdapterPulledOut : public FaultyLine, public ::testing::WithParamInterface<UnplugCase> {};

TEST_P(AdapterPulledOut, NextExchangeReportsItAndAReplugRestoresTheLink) {
  const UnplugCase& c = GetParam();
  sim::TVirtualDevice& device = AddFastDevice();
  if (c.midReply) {
    // The line itself pulls the adapter out 30 ms after the fifth byte, well within the 150 ms
    // that the read waits for more: a test thread held up by a busy machine cannot miss it.
    device.SetFaults({.hangUpAfter = 5, .count = 1});
    QueryParameters();
  } else {
    device.SetFaults({.hangUp = true, .count = 1});
    QueryParameters();
  }
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  RecordProperty("log", testing::PrintToString(Log()));
  EXPECT_EQ(Verdicts(), std::vector<std::string>{c.verdict}) << testing::PrintToString(Log());
  EXPECT_FALSE(form->ComPort1->Connected());
  EXPECT_FALSE(bus->PluggedIn());

  // The next exchange finds no adapter: it says so at once, and no time-out follows.
  QueryParameters();
  const std::vector<std::string> failed = {"TX : F7 03 00 00 00 07 10 9E ",
                                           "RX :", "   : ОШИБКА ОТКРЫТИЯ ПОРТА " + link};
  EXPECT_EQ(Log(), failed);
  Pump(450ms);
  EXPECT_EQ(Log(), failed);
  EXPECT_FALSE(form->ComPort1->Connected());

  bus->Replug();
  EXPECT_TRUE(CleanQueryWorks(device));
}

INSTANTIATE_TEST_SUITE_P(
    Adapter, AdapterPulledOut,
    ::testing::Values(
        // The read in progress fails with the line; the bytes it had are not handed on.
        UnplugCase{"MidReply", true, "   : TIME OUT."},
        UnplugCase{"InsteadOfTheReply", false, "   : TIME OUT."}),
    CaseName());

}  // namespace

namespace {

using namespace std::chrono_literals;

// During a search the port stays open from probe to probe, so the adapter goes while the port is
// open: the scan stalls on the failed probe until Stop, and once the adapter is back the next
// command works again.
TEST_F(FaultyLine, AdapterPulledOutDuringASearchStallsItAndAReplugRestoresTheLink) {
  sim::TVirtualDevice& device = AddFastDevice();
  form->CustomItem4->trigger();  // Search > Start: nobody answers at 1, 2, ...
  ASSERT_TRUE(WaitWithEvents([&] { return device.RequestCount() >= 2; }, 5s));
  bus->HangUp();
  ASSERT_TRUE(WaitForLine("   : ОШИБКА ОТКРЫТИЯ ПОРТА " + link));
  RecordProperty("log", testing::PrintToString(Log()));
  EXPECT_EQ(LinkState.SearchState, kSearchRunning) << "stalled, not ended";
  form->CustomItem4->trigger();  // Stop
  EXPECT_NE(LinkState.SearchState, kSearchRunning);

  bus->Replug();
  ASSERT_TRUE(WaitForQuietLine());
  LinkState.DeviceAddress = 247;
  form->TeSpinEdit1->SetValue(247);
  EXPECT_TRUE(CleanQueryWorks(device));
}

}  // namespace
