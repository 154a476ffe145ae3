// The monitor thread on a pseudo-terminal: where handlers run, what they are told, how a close
// ends a blocked read, and that a hang-up leaves the process idle.
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/com_thread.h"
#include "tests/serial/serial_fixture.h"
#include "tests/support/case_name.h"
#include "tests/support/wait_until.h"

namespace {

using std::chrono::milliseconds;

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Keeps the main thread serving its queue while waiting (smThreadSync, smWindowSync).
void ServeBriefly() {
  DrainMainThreadQueue();
  std::this_thread::sleep_for(milliseconds(1));
}

struct SyncCase {
  const char* name;
  TSyncMethod method;
  bool onMainThread;
};

class HandlerThread : public PortOnPty, public ::testing::WithParamInterface<SyncCase> {};

TEST_P(HandlerThread, ReceivedCharactersReachTheHandlerOnTheRightThread) {
  port_.SetSyncMethod(GetParam().method);
  std::mutex mutex;
  std::vector<std::uint8_t> received;
  std::vector<std::thread::id> threads;
  port_.OnRxChar = [&](TCustomComPort& sender, int count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    const int got = sender.ReadPort(bytes.data(), count);
    std::lock_guard lock(mutex);
    received.insert(received.end(), bytes.begin(), bytes.begin() + got);
    threads.push_back(std::this_thread::get_id());
  };
  port_.OpenPort();
  const std::thread::id monitorId = port_.Monitor()->Id();
  pty_.Send({1, 2, 3, 4, 5, 6, 7});
  const bool all = WaitUntil(
      [&] {
        std::lock_guard lock(mutex);
        return received.size() >= 7;
      },
      milliseconds(3000), ServeBriefly);
  port_.ClosePort();
  ASSERT_TRUE(all);
  EXPECT_EQ(received, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7}));
  for (std::thread::id id : threads) {
    if (GetParam().onMainThread) {
      EXPECT_EQ(id, std::this_thread::get_id());
    } else {
      EXPECT_EQ(id, monitorId);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SyncMethods, HandlerThread,
                         ::testing::Values(SyncCase{"ThreadSync", smThreadSync, true},
                                           SyncCase{"WindowSync", smWindowSync, true},
                                           SyncCase{"None", smNone, false}),
                         CaseName());

TEST_F(PortOnPty, HandlerThatReadsPartOfTheInputIsCalledAgainForTheRest) {
  std::mutex mutex;
  std::vector<int> counts;
  std::vector<std::uint8_t> received;
  port_.OnRxChar = [&](TCustomComPort& sender, int count) {
    std::uint8_t bytes[3];
    const int got = sender.ReadPort(bytes, 3);  // takes at most three per call
    std::lock_guard lock(mutex);
    counts.push_back(count);
    received.insert(received.end(), bytes, bytes + got);
  };
  port_.OpenPort();
  pty_.Send({1, 2, 3, 4, 5, 6, 7});
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::lock_guard lock(mutex);
        return received.size() >= 7;
      },
      milliseconds(3000)));
  port_.ClosePort();
  EXPECT_EQ(received, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7}));
  ASSERT_GE(counts.size(), 3u);
  for (int count : counts) {
    EXPECT_GE(count, 1);
    EXPECT_LE(count, 7);
  }
}

TEST_F(PortOnPty, WithoutEventsNoMonitorRunsAndNoHandlerIsCalled) {
  port_.SetEvents({});
  std::atomic<int> calls{0};
  port_.OnRxChar = [&](TCustomComPort&, int) { ++calls; };
  port_.OpenPort();
  EXPECT_EQ(port_.Monitor(), nullptr);
  pty_.Send({1, 2, 3});
  ASSERT_TRUE(WaitUntil([&] { return port_.InputQueueCount() == 3; }, milliseconds(2000)));
  EXPECT_EQ(calls.load(), 0);
  EXPECT_EQ(port_.InputQueueCount(), 3);  // nobody took them
}

TEST_F(PortOnPty, CloseDuringABlockedReadFailsTheReadWithCodeThreeAndEndsTheMonitor) {
  port_.Timeouts().SetReadInterval(0);  // no interval: the read waits for all 19 bytes
  std::atomic<bool> reading{false};
  std::atomic<int> failure{0};
  port_.OnRxChar = [&](TCustomComPort& sender, int) {
    std::uint8_t bytes[19];
    reading = true;
    try {
      sender.ReadPort(bytes, 19);
    } catch (const EComPort& e) {
      failure = e.FailureCode;
      throw;
    }
  };
  port_.OpenPort();
  pty_.Send({1, 2, 3});
  ASSERT_TRUE(WaitUntil([&] { return reading.load(); }, milliseconds(2000)));
  const TComThread* monitor = port_.Monitor();
  ASSERT_NE(monitor, nullptr);
  EXPECT_FALSE(monitor->Finished());
  const auto start = std::chrono::steady_clock::now();
  port_.ClosePort();
  EXPECT_LT(MsSince(start), 1000.0);
  EXPECT_EQ(failure.load(), 3);
  EXPECT_FALSE(port_.Connected());
  EXPECT_EQ(port_.Monitor(), nullptr);
}

TEST_F(PortOnPty, HandlerFailureEndsTheMonitorSilentlyAndThePortStaysOpen) {
  std::atomic<int> calls{0};
  port_.OnRxChar = [&](TCustomComPort&, int) {
    ++calls;
    throw EComPort(CError_ReadFailed, EIO);
  };
  port_.OpenPort();
  pty_.Send({1});
  ASSERT_TRUE(WaitUntil([&] { return port_.Monitor()->Finished(); }, milliseconds(2000)));
  EXPECT_EQ(calls.load(), 1);
  EXPECT_TRUE(port_.Connected());
  ASSERT_TRUE(port_.Monitor()->Error());
  EXPECT_THROW(std::rethrow_exception(port_.Monitor()->Error()), EComPort);
  pty_.Send({2});
  port_.ClosePort();  // releases the ended monitor without waiting
  EXPECT_EQ(calls.load(), 1);
  // A new opening has a new monitor that delivers again.
  port_.OpenPort();
  pty_.Send({3});
  EXPECT_TRUE(WaitUntil([&] { return calls.load() == 2; }, milliseconds(2000)));
}

TEST_F(PortOnPty, ThreadSyncHandlerFailureComesBackAndEndsTheMonitor) {
  port_.SetSyncMethod(smThreadSync);
  std::atomic<int> calls{0};
  port_.OnRxChar = [&](TCustomComPort&, int) {
    ++calls;
    throw EComPort(CError_ReadFailed, EIO);
  };
  port_.OpenPort();
  pty_.Send({1});
  EXPECT_TRUE(
      WaitUntil([&] { return port_.Monitor()->Finished(); }, milliseconds(2000), ServeBriefly));
  EXPECT_EQ(calls.load(), 1);
  port_.ClosePort();
}

TEST_F(PortOnPty, CloseWhileAThreadSyncHandlerWaitsForTheMainThreadDoesNotDeadlock) {
  port_.SetSyncMethod(smThreadSync);
  std::atomic<int> calls{0};
  port_.OnRxChar = [&](TCustomComPort& sender, int count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    ++calls;
    sender.ReadPort(bytes.data(), count);
  };
  port_.OpenPort();
  pty_.Send({1, 2});
  // The monitor is now (or soon) waiting for the main thread, which does not drain its queue.
  ASSERT_TRUE(WaitUntil([] { return PendingMainThreadWork() > 0; }, milliseconds(2000)));
  const auto start = std::chrono::steady_clock::now();
  port_.ClosePort();
  EXPECT_LT(MsSince(start), 1000.0);
  EXPECT_EQ(calls.load(), 1);  // served by the close, its read failed on the abort
  EXPECT_EQ(PendingMainThreadWork(), 0);
}

TEST_F(PortOnPty, HandlerOnTheMonitorThreadMayCloseThePort) {
  // The monitor cannot wait for itself: it must end after the handler without touching the port
  // again, whether the handler leaves it closed or opens it again at once (a new monitor).
  for (const bool reopenInHandler : {false, true}) {
    SCOPED_TRACE(reopenInHandler ? "close and reopen" : "close");
    std::atomic<int> calls{0};
    std::atomic<bool> closed{false};
    std::atomic<int> taken{0};
    port_.OnRxChar = [&](TCustomComPort& sender, int count) {
      if (++calls == 1) {
        sender.ClosePort();
        EXPECT_FALSE(sender.Connected());
        EXPECT_EQ(sender.Monitor(), nullptr);
        if (reopenInHandler) sender.OpenPort();
        closed = true;
        return;
      }
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
      taken += sender.ReadPort(bytes.data(), count);
    };
    port_.OpenPort();
    pty_.Send({1});
    ASSERT_TRUE(WaitUntil([&] { return closed.load(); }, milliseconds(2000)));
    EXPECT_EQ(port_.Connected(), reopenInHandler);
    if (!reopenInHandler) port_.OpenPort();
    ASSERT_NE(port_.Monitor(), nullptr);
    pty_.Send({2, 3});
    EXPECT_TRUE(WaitUntil([&] { return taken.load() == 2; }, milliseconds(2000)));
    port_.ClosePort();
    EXPECT_EQ(calls.load(), 2);
  }
}

TEST_F(PortOnPty, TransmitEmptyFollowsAWrite) {
  std::atomic<int> empties{0};
  port_.OnTxEmpty = [&](TCustomComPort&) { ++empties; };
  port_.OpenPort();
  const std::uint8_t request[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  port_.WritePort(request, 8);
  EXPECT_TRUE(WaitUntil([&] { return empties.load() == 1; }, milliseconds(2000)));
  EXPECT_EQ(pty_.Receive(8, milliseconds(2000)).size(), 8u);
}

TEST_F(PortOnPty, UntakenInputDoesNotKeepTheMonitorBusy) {
  // A handler that takes nothing leaves the bytes waiting; the monitor must not wake for them
  // again and again. Once the program reads, the monitor watches the input again.
  std::atomic<bool> take{false};
  std::atomic<int> calls{0};
  std::atomic<int> taken{0};
  port_.OnRxChar = [&](TCustomComPort& sender, int count) {
    ++calls;
    if (!take.load()) return;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    taken += sender.ReadPort(bytes.data(), count);
  };
  port_.OpenPort();
  pty_.Send({1, 2, 3});
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == 1; }, milliseconds(2000)));
  const double cpuBefore = ProcessCpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitUntil([&] { return calls.load() > 1; }, milliseconds(1000),
                         [] { std::this_thread::sleep_for(milliseconds(50)); }));
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  EXPECT_LT(cpu, 0.25 * MsSince(wallStart) / 1000.0) << "CPU seconds while idle: " << cpu;
  EXPECT_EQ(port_.InputQueueCount(), 3);

  take = true;
  std::uint8_t one;
  EXPECT_EQ(port_.ReadPort(&one, 1), 1);  // the program takes a byte: watching resumes
  EXPECT_EQ(one, 1);
  EXPECT_TRUE(WaitUntil([&] { return taken.load() == 2; }, milliseconds(2000)));
  EXPECT_EQ(calls.load(), 2);
  port_.ClosePort();
}

TEST_F(PortOnPty, HangUpEndsTheMonitorAndLeavesTheProcessIdle) {
  std::atomic<int> calls{0};
  port_.OnRxChar = [&](TCustomComPort& sender, int count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    sender.ReadPort(bytes.data(), count);
    ++calls;
  };
  port_.OpenPort();
  pty_.Send({1});
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == 1; }, milliseconds(2000)));
  pty_.CloseMaster();  // the adapter is pulled out
  ASSERT_TRUE(WaitUntil([&] { return port_.Monitor()->Finished(); }, milliseconds(2000)));

  const double cpuBefore = ProcessCpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  // Two seconds of nothing; the wait itself sleeps in steps.
  EXPECT_FALSE(WaitUntil([] { return false; }, milliseconds(2000),
                         [] { std::this_thread::sleep_for(milliseconds(50)); }));
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  const double wall = MsSince(wallStart) / 1000.0;
  EXPECT_LT(cpu, 0.1 * wall) << "CPU seconds after the hang-up: " << cpu;

  // The gone port still closes, and a write to it fails as a write.
  const std::uint8_t byte = 0;
  EXPECT_THROW(port_.WritePort(&byte, 1), EComPort);
  port_.ClosePort();
  EXPECT_FALSE(port_.Connected());
}

}  // namespace

namespace {

// On a real UART the monitor also runs a helper blocked in the modem-line wait; closing must
// interrupt it. Needs a port nobody uses: set TARVI_TEST_UART (for example ttyS0).
TEST(PortOnUart, ClosesPromptlyWithTheModemLineHelperRunning) {
  const char* uart = std::getenv("TARVI_TEST_UART");
  if (uart == nullptr || *uart == '\0') GTEST_SKIP() << "set TARVI_TEST_UART=ttyS0 to run";
  MarkMainThread();
  TComPort port;
  port.SetPort(uart);
  port.SetSyncMethod(smNone);
  std::atomic<int> ctsCalls{0};
  port.OnCTSChange = [&](TCustomComPort&, bool) { ++ctsCalls; };
  for (int round = 0; round < 3; ++round) {
    port.OpenPort();
    const auto start = std::chrono::steady_clock::now();
    port.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
  EXPECT_EQ(ctsCalls.load(), 6);  // once after each open, once before each close
}

}  // namespace
