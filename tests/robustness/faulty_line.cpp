#include "tests/robustness/faulty_line.h"

#include <QTest>
#include <algorithm>

#include "protocol/link_state.h"
#include "tests/support/event_loop_wait.h"

const char* const kOk = "   : \u041E\u041A.";

bool IsVerdict(const std::string& line) {
  static const std::vector<std::string> verdicts = {
      kOk,
      "   : ОШИБКА.",
      "   : НЕВЕРНЫЙ ID УСТРОЙСТВА.",
      "   : НЕВЕРНАЯ ДЛИНА ОТВЕТА.",
      "   : TIME OUT.",
      "   : CRC ERROR.",
  };
  return std::find(verdicts.begin(), verdicts.end(), line) != verdicts.end() ||
         line.rfind("   : ОШИБКА ОТКРЫТИЯ ПОРТА ", 0) == 0;
}

void FaultyLine::SetUp() {
  WindowOnBus::SetUp();
  link = (linkFolder_.Path() / "ttyTARVI").string();
  sim::TBusOptions options;
  options.linkPath = link;
  options.trace = [this](const sim::TTraceEvent& event) {
    if (event.kind == sim::TTraceEvent::TKind::kReply) scheduledBytes += event.bytes.size();
  };
  bus = std::make_unique<sim::TVirtualBus>(std::move(options));
  form->ComPort1->SetPort(link);
}

sim::TVirtualDevice& FaultyLine::AddFastDevice(sim::TDeviceConfig config) {
  config.baudCode = 8;
  sim::TVirtualDevice& device = AddDevice(config);
  form->BR_57600->trigger();
  LinkState.BaudIndex = 7;  // the device's rate as confirmed: 350 ms read time-out
  return device;
}

void FaultyLine::QueryParameters() {
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
}

bool FaultyLine::WaitForVerdict(std::chrono::milliseconds timeout) {
  return WaitWithEvents(
      [&] {
        return !Verdicts().empty() && !form->Timer_Rx->Enabled() && LinkState.BusyFlag == 0 &&
               LinkState.PendingRequest == rkNone;
      },
      timeout);
}

std::vector<std::string> FaultyLine::Verdicts() const {
  std::vector<std::string> found;
  for (const std::string& line : Log())
    if (IsVerdict(line)) found.push_back(line);
  return found;
}

bool FaultyLine::WaitForQuietLine(std::chrono::milliseconds timeout) {
  return WaitWithEvents(
      [&] { return bus->BytesSent() >= scheduledBytes.load() && !bus->PortInUse(); }, timeout);
}

::testing::AssertionResult FaultyLine::CleanQueryWorks(const sim::TVirtualDevice& device) {
  const std::size_t heard = device.RequestCount();
  QueryParameters();
  if (!WaitForVerdict())
    return ::testing::AssertionFailure() << "no verdict: " << testing::PrintToString(Log());
  const auto log = Log();
  // 19 bytes: 17 on the RX line, 2 on the next; then the mode line and the verdict.
  if (log.size() != 5 || log[0] != "TX : F7 03 00 00 00 07 10 9E " ||
      log[1].rfind("RX : F7 03 0E 00 ", 0) != 0 || log[2].size() != 11 ||
      log[3].rfind("   : РЕЖИМ РАБОТЫ - <", 0) != 0 || log[4] != kOk)
    return ::testing::AssertionFailure() << "log " << testing::PrintToString(log);
  if (device.RequestCount() != heard + 1)
    return ::testing::AssertionFailure()
           << "the device heard " << device.RequestCount() - heard << " requests";
  if (form->ComPort1->Connected()) return ::testing::AssertionFailure() << "the port stayed open";
  return ::testing::AssertionSuccess();
}
