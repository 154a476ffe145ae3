// A fruitless scan of the 247 addresses with the 100 ms and the 150 ms delay, in the real window
// against a line where nothing answers, from the click on "Start" to the not-found line. Nominal:
// what the delay, the 5 ms step timer and the probe's time on the line need,
// 247 x (delay + 5 + 8.33) ms.
//
// A device at address 250, outside the scan, hears every probe and so times each address from
// one probe's first byte to the next.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_application.h"
#include "bench/figures.h"
#include "bench/log_watch.h"
#include "console/main_window.h"
#include "protocol/link_state.h"
#include "protocol/log_lines.h"
#include "sim/virtual_bus.h"

namespace {
using std::chrono::milliseconds;

constexpr int kAddresses = 247;
constexpr double kStepMs = 5;
constexpr int kProbeLength = 8;

// One scan with the Delay item of this index (0: 100 ms, 1: 150 ms); false when it never ended.
bool Scan(int delayItem, double delayMs) {
  const std::string delay = Fixed(delayMs, 0) + " ms";
  ResetLinkState();
  sim::TVirtualBus bus;
  sim::TVirtualDevice& listener = bus.AddDevice({.address = 250});
  bus.Start();
  TForm1 form;
  form.ComPort1->SetPort(bus.SlavePath());
  form.show();
  RunEventLoopFor(milliseconds(100));
  form.DelayItems[static_cast<std::size_t>(delayItem)]->trigger();

  const QString notFound = QString::fromUtf8(kLineNotFound);
  const auto seen = TimeUntilLine(
      form, [&] { form.CustomItem4->trigger(); },
      [&](const QString& line) { return line == notFound; }, milliseconds(120000));

  const double writeMs =
      std::chrono::duration<double, std::milli>(sim::CharTime(9600) * kProbeLength).count();
  const double perAddressMs = delayMs + kStepMs + writeMs;
  const double nominalMs = kAddresses * perAddressMs;
  if (!seen) {
    PrintRow("Scan of 247 addresses, " + delay + " delay", "no not-found line within 120 s", "-",
             "-", "<= 1.02");
    return false;
  }
  const double measuredMs = std::chrono::duration<double, std::milli>(seen->after).count();
  PrintRow("Scan of 247 addresses, " + delay + " delay, 9600 Bd, nothing answers",
           Fixed(measuredMs / 1000, 3) + " s",
           Fixed(nominalMs / 1000, 3) + " s = 247 x (" + Fixed(delayMs, 0) + " + 5 + " +
               Fixed(writeMs, 2) + ") ms",
           Fixed(measuredMs / nominalMs, 4), "<= 1.02");
  // The pseudo-terminal takes the probe at once, so the write returns before the probe has
  // crossed the line: against the two fixed waits alone the scan shows its own overhead.
  const double waitsMs = kAddresses * (delayMs + kStepMs);
  PrintRow("Scan, same run, against the two waits alone", Fixed(measuredMs / 1000, 3) + " s",
           Fixed(waitsMs / 1000, 3) + " s = 247 x (" + Fixed(delayMs, 0) + " + 5) ms",
           Fixed(measuredMs / waitsMs, 4), "-");

  std::vector<double> periods;
  const std::vector<sim::TRequestRecord> probes = listener.Requests();
  for (std::size_t i = 1; i < probes.size(); ++i) {
    periods.push_back(
        std::chrono::duration<double, std::milli>(probes[i].firstByteAt - probes[i - 1].firstByteAt)
            .count());
  }
  PrintRow(
      "Scan, probe to probe at the device (n=" + std::to_string(periods.size()) + "): median / p99",
      Fixed(Median(periods), 2) + " / " + Fixed(Quantile(periods, 0.99), 2) + " ms",
      Fixed(delayMs + kStepMs, 2) + " ms of waits", "-", "-");
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  TBenchApplication application(argc, argv);
  const bool shortDelay = Scan(0, 100);
  const bool defaultDelay = Scan(1, 150);
  return shortDelay && defaultDelay ? 0 : 1;
}
