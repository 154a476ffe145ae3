// The port component in this process over rfc2217 through ser2net: its monitor thread and the
// main thread share the one connection, as they share a local port.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/com_port.h"
#include "system/main_thread_queue.h"
#include "tests/network/gateway_fixture.h"
#include "tests/support/wait_until.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A rate change waits for the gateway's answers while the monitor, woken by the same bytes, may
// decode them first: the change must still end as soon as they are in, not at its time limit.
TEST_F(GatewayTest, RateChangesWithTheMonitorRunningEndWithTheirAnswers) {
  telnetBus_->AddDevice({});
  StartGateway();
  MarkMainThread();
  TComPort port;
  port.SetPort(TelnetPort());
  port.SetSyncMethod(smNone);
  port.Timeouts().SetReadInterval(150);
  std::mutex mutex;
  std::vector<std::uint8_t> received;
  port.OnRxChar = [&](TCustomComPort& sender, int count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    const int got = sender.ReadPort(bytes.data(), count);
    std::lock_guard lock(mutex);
    received.insert(received.end(), bytes.begin(), bytes.begin() + got);
  };
  port.OpenPort();
  for (int i = 0; i < 8; ++i) {
    const auto start = Clock::now();
    port.SetBaudRate(i % 2 == 0 ? br19200 : br9600);
    // The answers take a loopback round trip; the first change also spends the one wait for
    // the control lines that ser2net on a pty never confirms (300 ms).
    EXPECT_LT(Clock::now() - start, 1s) << "change " << i;
  }
  // And the line still carries an exchange, its reply taken by the monitor.
  const std::uint8_t request[] = {247, 3, 0, 0, 0, 7, 0x10, 0x9E};
  EXPECT_EQ(port.WritePort(request, sizeof request), 8);
  const bool replied = WaitUntil(
      [&] {
        std::lock_guard lock(mutex);
        return received.size() >= 19;
      },
      5s, [] { std::this_thread::sleep_for(1ms); });
  port.ClosePort();
  EXPECT_TRUE(replied);
}

}  // namespace
