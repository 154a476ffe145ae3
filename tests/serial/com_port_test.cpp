// TComPort on a pseudo-terminal: opening and closing, settings while open, reads with the read
// interval, writes, and the failures of opening.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/serial/serial_fixture.h"
#include "tests/support/case_name.h"
#include "tests/support/wait_until.h"

namespace {

using std::chrono::milliseconds;

// A temporary folder removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/serial-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST_F(PortOnPty, OpensAndClosesTwiceAndRepeatedCallsChangeNothing) {
  int beforeOpen = 0, afterOpen = 0, beforeClose = 0, afterClose = 0;
  port_.OnBeforeOpen = [&](TCustomComPort&) { ++beforeOpen; };
  port_.OnAfterOpen = [&](TCustomComPort&) { ++afterOpen; };
  port_.OnBeforeClose = [&](TCustomComPort&) { ++beforeClose; };
  port_.OnAfterClose = [&](TCustomComPort&) { ++afterClose; };
  for (int round = 1; round <= 2; ++round) {
    port_.OpenPort();
    EXPECT_TRUE(port_.Connected());
    EXPECT_NE(port_.Monitor(), nullptr);
    port_.OpenPort();  // already open: no second open, no handler call
    EXPECT_EQ(beforeOpen, round);
    EXPECT_EQ(afterOpen, round);
    port_.ClosePort();
    EXPECT_FALSE(port_.Connected());
    EXPECT_EQ(port_.Monitor(), nullptr);
    port_.ClosePort();  // already closed
    EXPECT_EQ(beforeClose, round);
    EXPECT_EQ(afterClose, round);
  }
  // Connected works as OpenPort and ClosePort.
  port_.SetConnected(true);
  EXPECT_TRUE(port_.Connected());
  port_.SetConnected(false);
  EXPECT_FALSE(port_.Connected());
}

TEST_F(PortOnPty, SignalHandlersSeeTheLinesOffAroundOpenAndClose) {
  // A pseudo-terminal has no modem lines: every query answers "off", never a failure.
  std::vector<std::string> calls;
  port_.OnCTSChange = [&](TCustomComPort&, bool on) { calls.push_back(on ? "cts on" : "cts off"); };
  port_.OnDSRChange = [&](TCustomComPort&, bool on) { calls.push_back(on ? "dsr on" : "dsr off"); };
  port_.OnRLSDChange = [&](TCustomComPort&, bool on) { calls.push_back(on ? "cd on" : "cd off"); };
  port_.OnAfterOpen = [&](TCustomComPort&) { calls.push_back("after open"); };
  port_.OnBeforeClose = [&](TCustomComPort&) { calls.push_back("before close"); };
  port_.OpenPort();
  port_.ClosePort();
  const std::vector<std::string> expected = {"after open", "cts off", "dsr off", "cd off",
                                             "cts off",    "dsr off", "cd off",  "before close"};
  EXPECT_EQ(calls, expected);
}

TEST_F(PortOnPty, RateIsStoredWhileClosedAndAppliedAtOnceWhileOpen) {
  port_.SetBaudRate(br2400);
  EXPECT_EQ(port_.BaudRate(), br2400);
  port_.OpenPort();
  EXPECT_EQ(pty_.SlaveRate(), 2400u);
  int closes = 0;
  port_.OnAfterClose = [&](TCustomComPort&) { ++closes; };
  port_.SetBaudRate(br57600);
  EXPECT_EQ(pty_.SlaveRate(), 57600u);
  EXPECT_EQ(closes, 0);  // applied without closing
  port_.ClosePort();
  port_.SetBaudRate(br1200);
  EXPECT_EQ(pty_.SlaveRate(), 57600u);  // closed: only stored
}

struct RateCase {
  const char* name;
  TBaudRate rate;
  std::uint32_t bitsPerSecond;
};

class EveryRate : public PortOnPty, public ::testing::WithParamInterface<RateCase> {};

TEST_P(EveryRate, ReachesTheLineExactly) {
  port_.SetBaudRate(GetParam().rate);
  port_.OpenPort();
  EXPECT_EQ(pty_.SlaveRate(), GetParam().bitsPerSecond);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, EveryRate,
    ::testing::Values(RateCase{"Custom", brCustom, 9600}, RateCase{"B110", br110, 110},
                      RateCase{"B300", br300, 300}, RateCase{"B600", br600, 600},
                      RateCase{"B1200", br1200, 1200}, RateCase{"B2400", br2400, 2400},
                      RateCase{"B4800", br4800, 4800}, RateCase{"B9600", br9600, 9600},
                      RateCase{"B14400", br14400, 14400}, RateCase{"B19200", br19200, 19200},
                      RateCase{"B38400", br38400, 38400}, RateCase{"B56000", br56000, 56000},
                      RateCase{"B57600", br57600, 57600}, RateCase{"B115200", br115200, 115200},
                      RateCase{"B128000", br128000, 128000}, RateCase{"B256000", br256000, 256000}),
    CaseName());

TEST_F(PortOnPty, PortNameInOtherLetterCaseReopensAndTheSameNameDoesNot) {
  TempDir dir;
  const std::string upper = dir.path() + "/COM1";
  const std::string lower = dir.path() + "/com1";
  std::filesystem::create_symlink(pty_.SlavePath(), upper);
  std::filesystem::create_symlink(pty_.SlavePath(), lower);
  port_.SetPort(upper);
  port_.SetEvents({});  // the test reads itself
  port_.OpenPort();
  int opens = 0, closes = 0;
  port_.OnAfterOpen = [&](TCustomComPort&) { ++opens; };
  port_.OnAfterClose = [&](TCustomComPort&) { ++closes; };
  port_.SetPort(lower);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(opens, 1);
  EXPECT_TRUE(port_.Connected());
  EXPECT_EQ(port_.Port(), lower);
  port_.SetPort(lower);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(opens, 1);
  // The reopened port works.
  pty_.Send({0x42});
  std::uint8_t byte = 0;
  EXPECT_EQ(port_.ReadPort(&byte, 1), 1);
  EXPECT_EQ(byte, 0x42);
}

TEST_F(PortOnPty, MissingDeviceRaisesCodeOneWithEnoentAndStaysClosed) {
  TempDir dir;
  const std::string path = dir.path() + "/ttyMissing";
  port_.SetPort(path);
  try {
    port_.OpenPort();
    FAIL() << "opened a missing device";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 1);
    EXPECT_EQ(e.SystemErrorCode, ENOENT);
    EXPECT_EQ(std::string(e.what()),
              "Unable to open com port (win error code: " + std::to_string(ENOENT) + ")");
  }
  EXPECT_FALSE(port_.Connected());
  EXPECT_EQ(port_.Monitor(), nullptr);
  // A later OpenPort tries again.
  std::filesystem::create_symlink(pty_.SlavePath(), path);
  port_.OpenPort();
  EXPECT_TRUE(port_.Connected());
}

TEST_F(PortOnPty, DeviceNamesWithoutSlashAreLookedUpUnderDev) {
  port_.SetPort("tarvi-no-such-port");
  try {
    port_.OpenPort();
    FAIL() << "opened a missing device";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 1);
    EXPECT_EQ(e.SystemErrorCode, ENOENT);
  }
  // /dev/null exists but is no serial port.
  port_.SetPort("null");
  EXPECT_THROW(port_.OpenPort(), EComPort);
  EXPECT_FALSE(port_.Connected());
}

TEST_F(PortOnPty, PortHeldByAnotherProcessRaisesCodeOne) {
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Only async-signal-safe calls here: the parent has threads.
    close(ready[0]);
    close(release[1]);
    const int fd = open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
    (void)!write(ready[1], &ok, 1);
    char any;
    (void)!read(release[0], &any, 1);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');
  try {
    port_.OpenPort();
    ADD_FAILURE() << "opened a port held by another process";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 1);
    EXPECT_EQ(e.SystemErrorCode, EWOULDBLOCK);
  }
  EXPECT_FALSE(port_.Connected());
  close(release[1]);
  close(ready[0]);
  int status = 0;
  waitpid(child, &status, 0);
  port_.OpenPort();  // free again
  EXPECT_TRUE(port_.Connected());
}

TEST_F(PortOnPty, ReadOfMoreThanArrivesReturnsOneIntervalAfterTheLastByte) {
  port_.SetEvents({});  // the test reads itself
  port_.OpenPort();
  std::vector<std::uint8_t> buffer(19);
  std::atomic<std::chrono::steady_clock::time_point> lastSent{};
  std::thread device([&] {
    for (std::uint8_t b = 1; b <= 5; ++b) {
      pty_.Send({b});
      lastSent = std::chrono::steady_clock::now();
      std::this_thread::sleep_for(milliseconds(20));  // bytes with gaps shorter than 150 ms
    }
  });
  const int got = port_.ReadPort(buffer.data(), 19);
  const double afterLast = MsSince(lastSent.load());
  device.join();
  EXPECT_EQ(got, 5);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[4], 5);
  EXPECT_GE(afterLast, 145.0);
  EXPECT_LE(afterLast, 450.0);
}

TEST_F(PortOnPty, WaitingBytesAreTakenAtOnce) {
  port_.SetEvents({});
  port_.OpenPort();
  pty_.Send({1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_TRUE(WaitUntil([&] { return port_.InputQueueCount() == 8; }, milliseconds(2000)));
  std::uint8_t buffer[8] = {};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.ReadPort(buffer, 8), 8);
  EXPECT_LT(MsSince(start), 100.0);
  EXPECT_EQ(buffer[7], 8);
  EXPECT_EQ(port_.InputQueueCount(), 0);
}

TEST_F(PortOnPty, WriteOfEightBytesReturnsEightAndReachesTheLine) {
  port_.OpenPort();
  const std::uint8_t request[8] = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x07, 0x10, 0x9E};
  EXPECT_EQ(port_.WritePort(request, 8), 8);
  EXPECT_EQ(pty_.Receive(8, milliseconds(2000)), std::vector<std::uint8_t>(request, request + 8));
}

TEST_F(PortOnPty, WriteThatCannotDrainEndsAtItsTimeOutWithFewerBytes) {
  // Nobody reads the master: the pty buffers fill up and the write stops at its time-out.
  port_.Timeouts().SetWriteTotalMultiplier(0);
  port_.Timeouts().SetWriteTotalConstant(300);
  port_.OpenPort();
  std::vector<std::uint8_t> big(1 << 20, 0x55);
  const auto start = std::chrono::steady_clock::now();
  const int written = port_.WritePort(big.data(), static_cast<int>(big.size()));
  const double elapsed = MsSince(start);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<int>(big.size()));
  EXPECT_GE(elapsed, 290.0);
  EXPECT_LT(elapsed, 2000.0);
}

TEST_F(PortOnPty, SyncMethodCannotChangeWhileOpen) {
  port_.OpenPort();
  try {
    port_.SetSyncMethod(smThreadSync);
    FAIL() << "SyncMethod changed while open";
  } catch (const EComPort& e) {
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
    EXPECT_EQ(e.FailureCode, 14);
    EXPECT_EQ(e.SystemErrorCode, -1);
  }
  EXPECT_EQ(port_.SyncMethod(), smNone);
  port_.SetSyncMethod(smNone);  // the same value is no change
  port_.ClosePort();
  port_.SetSyncMethod(smWindowSync);
  EXPECT_EQ(port_.SyncMethod(), smWindowSync);
}

TEST_F(PortOnPty, EventsChangedWhileOpenTakeEffectAtTheNextOpen) {
  port_.OpenPort();
  ASSERT_NE(port_.Monitor(), nullptr);
  port_.SetEvents({});
  EXPECT_NE(port_.Monitor(), nullptr);
  port_.ClosePort();
  port_.OpenPort();
  EXPECT_EQ(port_.Monitor(), nullptr);
}

TEST_F(PortOnPty, LoadingOnlyStoresAndLoadedAppliesAndOpens) {
  port_.BeginLoading();
  port_.SetBaudRate(br19200);
  port_.SetConnected(true);
  EXPECT_TRUE(port_.Connected());  // remembered
  EXPECT_EQ(port_.Monitor(), nullptr);
  port_.Loaded();
  EXPECT_TRUE(port_.Connected());
  EXPECT_NE(port_.Monitor(), nullptr);
  EXPECT_EQ(pty_.SlaveRate(), 19200u);
}

TEST_F(PortOnPty, DestroyingAnOpenComponentClosesThePort) {
  auto port = std::make_unique<TComPort>();
  port->SetPort(pty_.SlavePath());
  port->OpenPort();
  port.reset();
  port_.OpenPort();  // the lock was released
  EXPECT_TRUE(port_.Connected());
}

}  // namespace
