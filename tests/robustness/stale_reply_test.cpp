// A block of reply bytes that the monitor has read but the main thread takes up only after the
// exchange has ended must not count for anything: it would re-arm Timer_Rx and end the ended
// exchange a second time (its verdict replaced), or end the next exchange with bytes that are not
// its reply. Driven step by step: the protocol over a real port on a pseudo-terminal, a window
// without widgets, and the main-thread queue drained by hand.
#include <gtest/gtest.h>

#include "fuzz/fake_console.h"
#include "protocol/exchange.h"
#include "protocol/link_state.h"
#include "system/main_thread_queue.h"
#include "tests/support/pty_pair.h"
#include "tests/support/wait_until.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// The parameter block of the device at 247 (id 14, all modes 0), CRC included.
const Bytes kBlock = {0xF7, 0x03, 0x0E, 0x00, 0x0E, 0x00, 0xF7, 0x00, 0x04, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0xD4, 0x7E};

class StaleReply : public ::testing::Test {
 protected:
  void SetUp() override {
    MarkMainThread();
    SetMainThreadWakeup({});  // this test drains the queue itself
    ResetLinkState();
    LinkState.DeviceAddress = 247;
    LinkState.BaudIndex = 3;
    TComPort& port = console.port;
    port.SetPort(line.SlavePath());
    port.Timeouts().SetReadInterval(150);
    port.SetEvents(kAllComEvents);
    port.SetSyncMethod(smNone);
    port.OnRxChar = [](TCustomComPort& sender, int) { ReceiveStep(sender); };
    BindConsole(&console);
  }
  void TearDown() override {
    console.port.ClosePort();
    DrainMainThreadQueue();
    BindConsole(nullptr);
  }

  // The monitor has read a whole block and handed it to the main thread.
  bool WaitForHandOver(int pending) {
    return WaitUntil([&] { return PendingMainThreadWork() >= pending; }, 5s);
  }

  TPtyPair line;
  TFakeConsole console;
};

TEST_F(StaleReply, BlockTakenUpAfterTheEndOfItsExchangeIsDropped) {
  SendReadRegisters(0, 7, console.log);
  LinkState.BusyFlag = 1;
  LinkState.PendingRequest = rkParameterQuery;
  ASSERT_EQ(line.Receive(8, 2s).size(), 8u);

  line.Send(kBlock);
  ASSERT_TRUE(WaitForHandOver(1));
  DrainMainThreadQueue();  // taken up: RxCount 19, Timer_Rx cut to 5 ms
  ASSERT_EQ(LinkState.RxCount, 19);
  // Noise right after the reply makes a second whole read before Timer_Rx fires.
  line.Send(Bytes(19, 0x55));
  ASSERT_TRUE(WaitForHandOver(1));

  EndOfExchangeStep();  // Timer_Rx fires first
  const auto shown = console.log.lines;
  ASSERT_EQ(shown.back(), "   : \u041E\u041A.");
  DrainMainThreadQueue();  // then the second block reaches the main thread

  EXPECT_FALSE(console.rxTimer.enabled) << "the ended exchange must not end again";
  EXPECT_EQ(LinkState.RxCount, 0);
  EXPECT_EQ(console.log.lines, shown);
}

TEST_F(StaleReply, LateBlockDuringASearchStillCountsForTheNextProbe) {
  // The port stays open from probe to probe, and a reply that lands in the next probe's window
  // is taken there (credited to its sender by its address byte).
  LinkState.SearchState = kSearchRunning;
  LinkState.DeviceAddress = 9;
  SendReadRegisters(0, 1, console.log);
  LinkState.PendingRequest = rkSearchProbe;
  ASSERT_EQ(line.Receive(8, 2s).size(), 8u);
  EndOfExchangeStep();  // the window closed without a reply
  ASSERT_TRUE(console.stepTimer.enabled);

  line.Send({0x09, 0x03, 0x02, 0x00, 0x0E, 0xD8, 0x41});
  ASSERT_TRUE(WaitUntil([&] { return PendingMainThreadWork() >= 1; }, 5s));
  DrainMainThreadQueue();
  EXPECT_EQ(LinkState.RxCount, 7);
  EXPECT_TRUE(console.rxTimer.enabled);
}

}  // namespace
