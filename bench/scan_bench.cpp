// A fruitless scan of the 247 addresses with the 100 ms delay, in the real window against a line
// where nothing answers, from the click on "Start" to the not-found line. Nominal: what the
// delay, the 5 ms step timer and the probe's time on the line need, 247 x (100 + 5 + 8.33) ms.
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
constexpr double kDelayMs = 100;
constexpr double kStepMs = 5;
constexpr int kProbeLength = 8;
}  // namespace

int main(int argc, char** argv) {
  TBenchApplication application(argc, argv);

  ResetLinkState();
  sim::TVirtualBus bus;
  sim::TVirtualDevice& listener = bus.AddDevice({.address = 250});
  bus.Start();
  TForm1 form;
  form.ComPort1->SetPort(bus.SlavePath());
  form.show();
  RunEventLoopFor(milliseconds(100));
  form.DelayItems[0]->trigger();  // "100ms"

  const QString notFound = QString::fromUtf8(kLineNotFound);
  const auto seen = TimeUntilLine(
      form, [&] { form.CustomItem4->trigger(); },
      [&](const QString& line) { return line == notFound; }, milliseconds(120000));

  const double writeMs =
      std::chrono::duration<double, std::milli>(sim::CharTime(9600) * kProbeLength).count();
  const double perAddressMs = kDelayMs + kStepMs + writeMs;
  const double nominalMs = kAddresses * perAddressMs;
  if (!seen) {
    PrintRow("Scan of 247 addresses, 100 ms delay", "no not-found line within 120 s", "-", "-",
             "<= 1.02");
    return 1;
  }
  const double measuredMs = std::chrono::duration<double, std::milli>(seen->after).count();
  PrintRow("Scan of 247 addresses, 100 ms delay, 9600 Bd, nothing answers",
           Fixed(measuredMs / 1000, 3) + " s",
           Fixed(nominalMs / 1000, 3) + " s = 247 x (100 + 5 + " + Fixed(writeMs, 2) + ") ms",
           Fixed(measuredMs / nominalMs, 4), "<= 1.02");
  // The pseudo-terminal takes the probe at once, so the write returns before the probe has
  // crossed the line: against the two fixed waits alone the scan shows its own overhead.
  const double waitsMs = kAddresses * (kDelayMs + kStepMs);
  PrintRow("Scan, same run, against the two waits alone", Fixed(measuredMs / 1000, 3) + " s",
           Fixed(waitsMs / 1000, 3) + " s = 247 x (100 + 5) ms", Fixed(measuredMs / waitsMs, 4),
           "-");

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
      Fixed(kDelayMs + kStepMs, 2) + " ms of waits", "-", "-");
  return 0;
}
