// The low-latency request that the port makes at each open, as the driver keeps it, and the time
// of one exchange through the real driver next to a pseudo-terminal in the same run. The figures
// are printed (and appended to timing.txt in the shared folder) for the benchmark notes. The
// guest is emulated, so the bound on them is loose: every query answered, and a median far below
// what an exchange that waited for its time-out instead of its reply would take.
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "serial/com_port.h"
#include "tests/drivers/driver_line.h"
#include "tests/drivers/real_port_window.h"

namespace {

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

TEST_F(RealPortWindow, TheUsbAdapterKeepsItsLatencyTimerAtOneWhileThePortIsOpen) {
  const std::string timer = "/sys/bus/usb-serial/devices/" + port + "/latency_timer";
  // The driver's default first: the flag keeps the timer at 1 from one open to the next.
  ASSERT_TRUE(ClearLowLatency(node));
  std::ofstream(timer) << "16\n";
  const std::string before = ReadFirstLine(timer);
  ASSERT_EQ(before, "16") << timer;
  TComPort device;
  device.SetPort(port);
  device.SetSyncMethod(smNone);
  device.OpenPort();
  const std::string open = ReadFirstLine(timer);
  device.ClosePort();
  const std::string after = ReadFirstLine(timer);
  std::printf("latency_timer of %s: %s before the open, %s while open, %s after the close\n",
              port.c_str(), before.c_str(), open.c_str(), after.c_str());
  EXPECT_EQ(open, "1");
}

struct TQueryTimes {
  int answered = 0;
  double medianMs = 0;
  double maxMs = 0;
};

// An exchange at 9600 Bd takes 36.8 ms on the line; one that ran into a read time-out would take
// several hundred. Under emulation the guest runs many times slower than a PC.
constexpr double kMedianBoundMs = 1000;

class ExchangeTiming : public RealPortWindow {
 protected:
  // How many queries got their verdict ОК, and the median and largest time from the click on
  // ЗАПРОС ПАРАМЕТРОВ to the verdict.
  TQueryTimes TimeQueries(int count) {
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
      QElapsedTimer clock;
      clock.start();
      Query();
      if (!WaitForVerdict() || LastLine() != kOk) {
        ADD_FAILURE() << testing::PrintToString(Log());
        break;
      }
      times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    if (times.empty()) return {};
    std::sort(times.begin(), times.end());
    return {static_cast<int>(times.size()), times[times.size() / 2], times.back()};
  }

  void Report(const std::string& what, const TQueryTimes& figures, int count) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "parameter query at 9600 Bd, click to verdict, %s: median %.1f ms, max %.1f ms "
                  "(n=%d; nominal 36.8 ms)",
                  what.c_str(), figures.medianMs, figures.maxMs, count);
    std::printf("%s\n", line);
    if (!share.empty()) std::ofstream(share + "/timing.txt", std::ios::app) << line << "\n";
  }
};

TEST_F(ExchangeTiming, OnTheRealDriverAndOnAPseudoTerminal) {
  constexpr int kCount = 15;
  const TQueryTimes driver = TimeQueries(kCount);
  Report(port, driver, kCount);
  EXPECT_EQ(driver.answered, kCount);
  EXPECT_LT(driver.medianMs, kMedianBoundMs);

  AddDevice();  // the same device on a pseudo-terminal in this process
  form->ComPort1->SetPort(bus->SlavePath());
  const TQueryTimes pty = TimeQueries(kCount);
  Report("pty", pty, kCount);
  EXPECT_EQ(pty.answered, kCount);
  EXPECT_LT(pty.medianMs, kMedianBoundMs);
}

}  // namespace
