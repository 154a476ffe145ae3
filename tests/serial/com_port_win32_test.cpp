// The Win32 device layer and the component on it, against the virtual device on a COM port:
// scripts/with-sim-com-port starts tarvi-sim (address 247, 9600 Bd), links its pty as a COM port
// of the wine prefix and names the port in TARVI_COM_PORT. With --modem-lines (TARVI_MODEM_LINES)
// wine reads the pty's modem lines as a real port's, all off, and its wait for port events then
// works as Windows' does, so the monitor's tests take the Windows path. What wine still does
// differently is a skipped test with its reason; the code keeps Windows' behaviour.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "serial/com_port.h"
#include "serial/com_thread.h"
#include "serial/serial_device.h"
#include "system/stop_signal.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine 8 cannot read the modem lines of a pty: GetCommModemStatus fails, and every wait for
// port events ends at once as cancelled (or is refused, with a modem event in the mask), unless
// the modem-line stand-in is preloaded (scripts/with-sim-com-port --modem-lines).
bool PortEventsUnavailable() {
  const char* standIn = std::getenv("TARVI_MODEM_LINES");
  return RunningOnWine() && (standIn == nullptr || std::string(standIn) != "1");
}
constexpr const char* kNoPortEvents =
    "wine cannot read a pty's modem lines without scripts/with-sim-com-port --modem-lines, so it "
    "cannot wait for port events";

// The parameter query to the device at 247: registers 0..6, answered with 19 bytes.
std::array<std::uint8_t, 8> ParameterQuery() {
  std::array<std::uint8_t, 8> frame = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x07, 0, 0};
  const std::uint16_t crc = CalcCrc16(frame.data(), 6);
  frame[6] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[7] = static_cast<std::uint8_t>(crc >> 8);
  return frame;
}

bool IsParameterReply(const std::uint8_t* reply, int count) {
  if (count != 19 || reply[0] != 0xF7 || reply[1] != 0x03 || reply[2] != 14) return false;
  const std::uint16_t crc = CalcCrc16(reply, 17);
  return reply[17] == (crc & 0xFF) && reply[18] == (crc >> 8);
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class ComPortOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("TARVI_COM_PORT");
    if (name == nullptr || *name == '\0')
      GTEST_SKIP() << "set TARVI_COM_PORT (scripts/with-sim-com-port)";
    portName_ = name;
    port_.SetPort(portName_);
    port_.SetSyncMethod(smNone);
    port_.SetEvents(TComEvents{});
    port_.Timeouts().SetReadInterval(150);
  }

  // Writes the query and reads up to `count` bytes of the reply.
  int Exchange(std::uint8_t* reply, int count) {
    const auto query = ParameterQuery();
    EXPECT_EQ(port_.WritePort(query.data(), 8), 8);
    return port_.ReadPort(reply, count);
  }

  std::string portName_;
  TComPort port_;
};

TEST_F(ComPortOnWine, WritesAQueryAndReadsTheNineteenByteReply) {
  port_.OpenPort();
  ASSERT_TRUE(port_.Connected());
  std::uint8_t reply[64] = {};
  const auto start = Clock::now();
  const int count = Exchange(reply, 19);
  EXPECT_TRUE(IsParameterReply(reply, count)) << "read " << count << " bytes";
  // The read ends on its count, not 150 ms after the last byte; the margin is for a busy machine.
  EXPECT_LT(MillisecondsSince(start), 2000.0);
  port_.ClosePort();
  EXPECT_FALSE(port_.Connected());
}

TEST_F(ComPortOnWine, ReadEndsOnTheReadIntervalAfterTheLastByte) {
  port_.OpenPort();
  std::uint8_t reply[64] = {};
  const auto query = ParameterQuery();
  ASSERT_EQ(port_.WritePort(query.data(), 8), 8);
  // Wait until the whole reply is in the input queue, then ask for more than came.
  const auto deadline = Clock::now() + 3s;
  while (port_.InputQueueCount() < 19 && Clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  ASSERT_EQ(port_.InputQueueCount(), 19);
  const auto start = Clock::now();
  const int count = port_.ReadPort(reply, 40);
  const double elapsed = MillisecondsSince(start);
  EXPECT_TRUE(IsParameterReply(reply, count)) << "read " << count << " bytes";
  EXPECT_GE(elapsed, 140.0);
  EXPECT_LT(elapsed, 2000.0);
}

TEST_F(ComPortOnWine, TheDeviceHearsTheRateThatIsSet) {
  // A read that gets nothing ends after 400 ms instead of waiting for ever.
  port_.Timeouts().SetReadTotalConstant(400);
  port_.SetBaudRate(br19200);
  port_.OpenPort();
  std::uint8_t reply[64] = {};
  // A read ended by its time-out is no failure (wine's ERROR_TIMEOUT is taken as Windows' short
  // read by the device layer).
  EXPECT_EQ(Exchange(reply, 19), 0) << "the device at 9600 Bd must not hear 19200 Bd";
  port_.SetBaudRate(br9600);  // applied at once, without closing
  ASSERT_TRUE(port_.Connected());
  EXPECT_TRUE(IsParameterReply(reply, Exchange(reply, 19)));
}

TEST_F(ComPortOnWine, AnAbortReleasesABlockedReadAndFailsLaterOnes) {
  TSerialDevice device;
  ASSERT_EQ(device.Open(portName_), 0);
  TTimeoutSettings timeouts;
  timeouts.readInterval = 0;  // no time-out at all: the read waits for its count
  ASSERT_EQ(device.SetTimeouts(timeouts), 0);
  std::uint8_t buffer[16];
  auto read = std::async(std::launch::async, [&] { return device.Read(buffer, 16); });
  EXPECT_EQ(read.wait_for(300ms), std::future_status::timeout) << "nothing was sent";
  ASSERT_EQ(device.AbortTransfers(), 0);
  ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(read.get().error, ERROR_OPERATION_ABORTED);
  EXPECT_EQ(device.Read(buffer, 16).error, ERROR_OPERATION_ABORTED);
  device.Close();
}

// Processor time of this process so far, in milliseconds.
double ProcessCpuMilliseconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME t) {
    return static_cast<double>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

TEST_F(ComPortOnWine, TheMonitorHandsEachReplyToTheReceiveHandlerAndThenSleeps) {
  std::mutex mutex;
  std::vector<std::uint8_t> received;
  int calls = 0;
  port_.SetEvents(kAllComEvents);  // all ten, as the window's port has them
  port_.OnRxChar = [&](TCustomComPort& sender, int count) {
    EXPECT_GE(count, 1);
    std::uint8_t bytes[19];
    const int read = sender.ReadPort(bytes, 19);
    std::lock_guard lock(mutex);
    received.insert(received.end(), bytes, bytes + read);
    ++calls;
  };
  if (PortEventsUnavailable()) GTEST_SKIP() << kNoPortEvents;
  port_.OpenPort();
  ASSERT_NE(port_.Monitor(), nullptr);
  auto receivedSize = [&] {
    std::lock_guard lock(mutex);
    return received.size();
  };
  const auto query = ParameterQuery();
  for (std::size_t exchange = 1; exchange <= 2; ++exchange) {
    ASSERT_EQ(port_.WritePort(query.data(), 8), 8);
    const auto deadline = Clock::now() + 3s;
    while (receivedSize() < 19 * exchange && Clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    ASSERT_EQ(receivedSize(), 19 * exchange) << "exchange " << exchange;
    EXPECT_TRUE(IsParameterReply(received.data() + 19 * (exchange - 1), 19));
  }
  EXPECT_FALSE(port_.Monitor()->Finished());
  std::printf("receive handler called %d times for 2 replies of 19 bytes\n", calls);
  // A silent line: no handler call, and the monitor sleeps instead of spinning.
  const int callsBefore = calls;
  const double cpuSilent = ProcessCpuMilliseconds();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(ProcessCpuMilliseconds() - cpuSilent, 150.0);
  EXPECT_EQ(calls, callsBefore);
  const auto start = Clock::now();
  port_.ClosePort();
  EXPECT_LT(MillisecondsSince(start), 2000.0);
}

// The wait itself (WaitCommEvent with the event mask): each reply byte that comes is reported as
// evRxChar, and reading what the queue holds after each event takes the whole reply.
TEST_F(ComPortOnWine, EachWaitReportsBytesReceived) {
  if (PortEventsUnavailable()) GTEST_SKIP() << kNoPortEvents;
  TSerialDevice device;
  ASSERT_EQ(device.Open(portName_), 0);
  TTimeoutSettings takeWhatIsThere;  // interval at its maximum, totals 0
  ASSERT_EQ(device.SetTimeouts(takeWhatIsThere), 0);
  ASSERT_EQ(device.BeginMonitoring(TComEvents{evRxChar}), 0);
  const auto query = ParameterQuery();
  ASSERT_EQ(device.Write(query.data(), 8).count, 8);
  TStopSignal stop;
  std::uint8_t reply[64] = {};
  int received = 0;
  int events = 0;
  const auto deadline = Clock::now() + 5s;
  while (received < 19 && Clock::now() < deadline) {
    TComEvents seen;
    int error = 0;
    auto wait =
        std::async(std::launch::async, [&] { return device.WaitForEvents(stop, seen, error); });
    if (wait.wait_for(3s) != std::future_status::ready) {
      stop.Raise();
      wait.wait();
      FAIL() << "no event after " << received << " bytes";
    }
    ASSERT_EQ(wait.get(), TWaitOutcome::Events) << "error " << error;
    ASSERT_TRUE(seen.Has(evRxChar)) << "events 0x" << std::hex << seen.Bits();
    ++events;
    const TIoResult read = device.Read(reply + received, 64 - received);
    ASSERT_EQ(read.error, 0);
    received += read.count;
  }
  EXPECT_TRUE(IsParameterReply(reply, received)) << "read " << received << " bytes";
  EXPECT_GE(events, 1);
  EXPECT_LE(events, 19);
  std::printf("evRxChar reported %d times for a reply of 19 bytes\n", events);
  device.EndMonitoring();
  device.Close();
}

TEST_F(ComPortOnWine, AStoppedMonitorWaitEndsAtOnce) {
  if (PortEventsUnavailable()) GTEST_SKIP() << kNoPortEvents;
  TSerialDevice device;
  ASSERT_EQ(device.Open(portName_), 0);
  ASSERT_EQ(device.BeginMonitoring(TComEvents{evRxChar}), 0);
  TStopSignal stop;
  TComEvents events;
  int error = 0;
  auto wait =
      std::async(std::launch::async, [&] { return device.WaitForEvents(stop, events, error); });
  EXPECT_EQ(wait.wait_for(300ms), std::future_status::timeout) << "nothing was received";
  stop.Raise();
  ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(wait.get(), TWaitOutcome::Stopped)
      << "events 0x" << std::hex << events.Bits() << std::dec << ", error " << error;
  device.EndMonitoring();  // ends a wait still pending in the driver; must not hang
  device.Close();
}

TEST_F(ComPortOnWine, CloseEndsTheMonitorOfAnOpenPort) {
  int calls = 0;
  port_.SetEvents(kAllComEvents);
  port_.OnRxChar = [&](TCustomComPort&, int) { ++calls; };
  port_.OpenPort();
  ASSERT_NE(port_.Monitor(), nullptr);
  const auto start = Clock::now();
  port_.ClosePort();
  EXPECT_LT(MillisecondsSince(start), 2000.0);
  EXPECT_EQ(port_.Monitor(), nullptr);
  EXPECT_EQ(calls, 0);
}

TEST_F(ComPortOnWine, ModemStatusOfAPortWithoutModemLines) {
  if (PortEventsUnavailable()) GTEST_SKIP() << kNoPortEvents;
  bool cts = true;
  port_.OnCTSChange = [&](TCustomComPort&, bool on) { cts = on; };
  port_.OpenPort();
  EXPECT_FALSE(cts);
}

TEST_F(ComPortOnWine, APortThatDoesNotExistFailsWithFileNotFound) {
  port_.SetPort("COM77");
  try {
    port_.OpenPort();
    FAIL() << "COM77 opened";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 1);
    EXPECT_EQ(e.SystemErrorCode, ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
  }
  EXPECT_FALSE(port_.Connected());
}

TEST_F(ComPortOnWine, APortHeldElsewhereFailsWithAccessDenied) {
  // Another program's open: a handle of its own without sharing.
  HANDLE holder = CreateFileA(("\\\\.\\" + portName_).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  if (RunningOnWine()) {
    CloseHandle(holder);
    GTEST_SKIP() << "wine does not keep a COM port to its first opener: a second open without "
                    "sharing succeeds, where Windows refuses it with ERROR_ACCESS_DENIED";
  }
  try {
    port_.OpenPort();
    ADD_FAILURE() << portName_ << " opened twice";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 1);
    EXPECT_EQ(e.SystemErrorCode, ERROR_ACCESS_DENIED);
  }
  EXPECT_FALSE(port_.Connected());
  CloseHandle(holder);
  port_.OpenPort();  // free again
  EXPECT_TRUE(port_.Connected());
}

}  // namespace
