#include "tests/drivers/real_port_window.h"

#include <sys/resource.h>

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "protocol/link_state.h"
#include "tests/support/event_loop_wait.h"
#include "tests/support/wait_until.h"

const char* const kOk = "   : \u041E\u041A.";
const char* const kTimeOut = "   : TIME OUT.";

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// "TX : F7 03 00 00 00 07 10 9E " as the devices' trace writes it: "F7 03 00 00 00 07 10 9E".
std::string TraceBytes(std::string cells) {
  while (!cells.empty() && cells.back() == ' ')
    cells.pop_back();
  return cells;
}

}  // namespace

void RealPortWindow::SetUp() {
  WindowOnBus::SetUp();
  port = Env("TARVI_PORT");
  trace = Env("TARVI_TRACE");
  share = Env("TARVI_SHARE");
  ASSERT_FALSE(port.empty()) << "TARVI_PORT names the real port (run by tests/drivers)";
  ASSERT_FALSE(trace.empty()) << "TARVI_TRACE names the devices' trace";
  node = port.find('/') == std::string::npos ? "/dev/" + port : port;
  form->ComPort1->SetPort(port);
  SetRates(3);
  SetAddress(247);
}

void RealPortWindow::SetRates(int baudIndex) {
  form->BaudItems.at(static_cast<std::size_t>(baudIndex))->trigger();
  LinkState.BaudIndex = static_cast<std::uint8_t>(baudIndex);
}

void RealPortWindow::SetAddress(int address) {
  form->TeSpinEdit1->SetValue(address);
  LinkState.DeviceAddress = static_cast<std::uint8_t>(address);
}

void RealPortWindow::Query() {
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
}

bool RealPortWindow::WaitForVerdict(std::chrono::milliseconds timeout) {
  return WaitWithEvents(
      [&] {
        const std::string last = LastLine();
        return !form->Timer_Rx->Enabled() && LinkState.BusyFlag == 0 &&
               (last == kOk || last == kTimeOut || last == "   : CRC ERROR.");
      },
      timeout);
}

std::vector<std::string> RealPortWindow::Trace() const {
  std::vector<std::string> lines;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::size_t RealPortWindow::TimesHeard(const std::string& request) const {
  const std::string key = "request " + TraceBytes(request) + " (";
  std::size_t n = 0;
  for (const std::string& line : Trace())
    if (line.find(key) != std::string::npos) ++n;
  return n;
}

unsigned RealPortWindow::RateHeard(const std::string& request, std::size_t times) const {
  WaitUntil([&] { return TimesHeard(request) >= times; }, std::chrono::seconds(5),
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
  const std::string key = "request " + TraceBytes(request) + " (";
  unsigned rate = 0;
  for (const std::string& line : Trace()) {
    const std::size_t at = line.find(key);
    if (at != std::string::npos)
      rate = static_cast<unsigned>(std::stoul(line.substr(at + key.size())));
  }
  return rate;
}

double CpuSecondsWhileIdle(double seconds) {
  auto cpu = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto s = [](const timeval& t) {
      return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return s(usage.ru_utime) + s(usage.ru_stime);
  };
  const double before = cpu();
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
  return cpu() - before;
}
