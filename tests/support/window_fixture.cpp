#include "tests/support/window_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include "protocol/link_state.h"
#include "tests/support/event_loop_wait.h"

void WindowOnBus::SetUp() {
  ResetLinkState();
  bus = std::make_unique<sim::TVirtualBus>();
  form = std::make_unique<TForm1>();
  form->ComPort1->SetPort(bus->SlavePath());
  form->show();
}

void WindowOnBus::TearDown() {
  form.reset();
  bus.reset();
}

sim::TVirtualDevice& WindowOnBus::AddDevice(const sim::TDeviceConfig& config) {
  sim::TVirtualDevice& device = bus->AddDevice(config);
  bus->Start();
  return device;
}

std::vector<std::string> WindowOnBus::Log() const {
  std::vector<std::string> lines;
  for (const QString& line : form->TeMemo1->Lines())
    lines.push_back(line.toStdString());
  return lines;
}

std::string WindowOnBus::LastLine() const {
  const auto lines = Log();
  return lines.empty() ? std::string() : lines.back();
}

std::string WindowOnBus::LogColour() const {
  const QColor c = form->TeMemo1->Colour();
  return std::to_string(c.red()) + "," + std::to_string(c.green()) + "," + std::to_string(c.blue());
}

bool WindowOnBus::LogHas(const std::string& line) const {
  const auto lines = Log();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool WindowOnBus::WaitForLine(const std::string& line, std::chrono::milliseconds timeout) {
  return WaitWithEvents([&] { return LogHas(line); }, timeout);
}

bool WindowOnBus::WaitForExchangeEnd(std::chrono::milliseconds timeout) {
  return WaitWithEvents(
      [&] {
        return !form->Timer_Rx->Enabled() && LinkState.BusyFlag == 0 &&
               LinkState.PendingRequest == 0;
      },
      timeout);
}

void WindowOnBus::Pump(std::chrono::milliseconds time) {
  QElapsedTimer clock;
  clock.start();
  WaitWithEvents([&] { return clock.elapsed() >= time.count(); }, time + std::chrono::seconds(1));
}

std::string WindowOnBus::Panel(const TForm1& window, int index) {
  return window.StatusBar1->PanelText(index).toStdString();
}

std::string Cells(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
    text += ' ';
  }
  return text;
}
