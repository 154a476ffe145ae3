// Exchange time of the real window against the virtual device: from the click on a command
// button to the verdict line, over the real ComPort1 and a pseudo-terminal whose far side paces
// every byte at the line rate. Reported against the nominal time, which is all that the line and
// the fixed waits of the engine need: request and reply on the line (10-bit characters), the
// device's turnaround, and the 5 ms after which a complete reply is taken up.
//
// Usage: bench_exchange [COUNT]   (COUNT parameter queries and COUNT "ВКЛЮЧИТЬ" writes per rate)
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
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
using std::chrono::nanoseconds;

constexpr int kRequestLength = 8;
constexpr int kQueryReplyLength = 19;  // seven registers
constexpr int kWriteReplyLength = 8;   // the echo
constexpr nanoseconds kTakeUpDelay = milliseconds(5);
constexpr int kWarmUp = 5;

double Ms(nanoseconds span) {
  return static_cast<double>(span.count()) / 1e6;
}

struct TSeries {
  std::vector<double> ms;  // measured exchange times
  double nominalMs = 0;
  int failures = 0;  // a verdict other than "ОК.", no verdict, or an exchange left open
  // Where the time goes, per exchange: click to the request's first byte at the device's side
  // of the pty, and the last reply byte's due time to the verdict, less the 5 ms take-up delay.
  std::vector<double> sendMs;
  std::vector<double> takeUpMs;
  // The take-up, split: last reply byte due to the receive step's return (monitor thread), to
  // Timer_Rx firing (less 5 ms), to the verdict.
  std::vector<double> readMs;
  std::vector<double> timerMs;
  std::vector<double> endStepMs;
  std::vector<double> openMs;   // OpenPort in the send
  std::vector<double> closeMs;  // ClosePort in the end step
};

// When the receive step last returned and Timer_Rx last fired, taken by wrapping their handlers,
// and how long the port's last open and close took (its notification steps, main thread).
struct TStepClock {
  std::atomic<sim::Clock::rep> receiveReturned{0};
  sim::Clock::time_point timerFired{};
  sim::Clock::time_point openStarted{};
  sim::Clock::time_point closeStarted{};
  sim::Clock::duration open{};
  sim::Clock::duration close{};
  static sim::Clock::time_point At(sim::Clock::rep ticks) {
    return sim::Clock::time_point(sim::Clock::duration(ticks));
  }
};

void WatchSteps(TForm1& form, TStepClock& clock) {
  auto receive = form.ComPort1->OnRxChar;
  form.ComPort1->OnRxChar = [receive, &clock](TCustomComPort& port, int count) {
    receive(port, count);
    clock.receiveReturned.store(sim::Clock::now().time_since_epoch().count());
  };
  TComPort& port = *form.ComPort1;
  port.OnBeforeOpen = [&clock](TCustomComPort&) { clock.openStarted = sim::Clock::now(); };
  port.OnAfterOpen = [&clock](TCustomComPort&) {
    clock.open = sim::Clock::now() - clock.openStarted;
  };
  port.OnBeforeClose = [&clock](TCustomComPort&) { clock.closeStarted = sim::Clock::now(); };
  port.OnAfterClose = [&clock](TCustomComPort&) {
    clock.close = sim::Clock::now() - clock.closeStarted;
  };
  auto timer = form.Timer_Rx->OnTimer;
  form.Timer_Rx->OnTimer = [timer, &clock] {
    clock.timerFired = sim::Clock::now();
    timer();
  };
}

// The replies the devices start, as the bus traces them (bus thread).
class TReplyTrace {
 public:
  void Add(const sim::TTraceEvent& event) {
    if (event.kind != sim::TTraceEvent::TKind::kReply) return;
    std::lock_guard lock(mutex_);
    replies_.push_back(event);
  }
  std::vector<sim::TTraceEvent> Replies() const {
    std::lock_guard lock(mutex_);
    return replies_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<sim::TTraceEvent> replies_;
};

// Clicks the button `count` times back to back, each click once the previous exchange has ended.
TSeries TimeCommand(TForm1& form, QPushButton& button, int count, int replyLength,
                    const sim::TVirtualDevice& device, const TReplyTrace& trace, TStepClock& steps,
                    std::uint32_t rate) {
  TSeries series;
  const std::size_t firstRequest = device.RequestCount();
  const std::size_t firstReply = trace.Replies().size();
  std::vector<TLineSeen> timed;
  std::vector<std::pair<sim::Clock::time_point, sim::Clock::time_point>> stepTimes;
  series.nominalMs =
      Ms(sim::CharTime(rate) * (kRequestLength + replyLength) + device.Turnaround() + kTakeUpDelay);
  const QString ok = QString::fromUtf8(kLineOk);
  for (int i = 0; i < kWarmUp + count; ++i) {
    const auto seen = TimeUntilLine(
        form, [&] { button.click(); }, IsVerdict, milliseconds(2000));
    const bool ended = LinkState.BusyFlag == 0 && !form.Timer_Rx->Enabled();
    if (!seen || seen->line != ok || !ended) {
      ++series.failures;
      RunEventLoopUntil([&] { return LinkState.BusyFlag == 0; }, milliseconds(2000));
      continue;
    }
    if (i >= kWarmUp) series.ms.push_back(Ms(seen->after));
    timed.push_back(*seen);
    stepTimes.emplace_back(TStepClock::At(steps.receiveReturned.load()), steps.timerFired);
    if (i >= kWarmUp) {
      series.openMs.push_back(Ms(steps.open));
      series.closeMs.push_back(Ms(steps.close));
    }
  }
  const std::vector<sim::TRequestRecord> requests = device.Requests();
  const std::vector<sim::TTraceEvent> replies = trace.Replies();
  if (series.failures == 0 && requests.size() >= firstRequest + timed.size() &&
      replies.size() == firstReply + timed.size()) {
    for (std::size_t i = kWarmUp; i < timed.size(); ++i) {
      const sim::TRequestRecord& request = requests[firstRequest + i];
      const sim::TTraceEvent& reply = replies[firstReply + i];
      const auto lastByteDue =
          reply.at + sim::CharTime(rate) * static_cast<std::int64_t>(reply.bytes.size());
      series.sendMs.push_back(Ms(request.firstByteAt - timed[i].start));
      const auto verdictAt = timed[i].start + timed[i].after;
      series.takeUpMs.push_back(Ms(verdictAt - lastByteDue - kTakeUpDelay));
      series.readMs.push_back(Ms(stepTimes[i].first - lastByteDue));
      series.timerMs.push_back(Ms(stepTimes[i].second - stepTimes[i].first - kTakeUpDelay));
      series.endStepMs.push_back(Ms(verdictAt - stepTimes[i].second));
    }
  }
  return series;
}

std::vector<double> Ratios(const TSeries& series) {
  std::vector<double> ratios;
  for (double ms : series.ms)
    ratios.push_back(ms / series.nominalMs);
  return ratios;
}

std::string Label(const char* what, std::uint32_t rate, std::size_t n) {
  return std::string(what) + ", " + std::to_string(rate) + " Bd (n=" + std::to_string(n) + ")";
}

void ReportAgainstNominal(const char* what, std::uint32_t rate, const std::vector<TSeries>& parts) {
  std::vector<double> ms;
  std::vector<double> ratios;
  std::string nominal;
  int failures = 0;
  for (const TSeries& s : parts) {
    ms.insert(ms.end(), s.ms.begin(), s.ms.end());
    const std::vector<double> r = Ratios(s);
    ratios.insert(ratios.end(), r.begin(), r.end());
    nominal += (nominal.empty() ? "" : " / ") + Fixed(s.nominalMs, 2) + " ms";
    failures += s.failures;
  }
  const std::string label = Label(what, rate, ratios.size()) +
                            (failures ? ", " + std::to_string(failures) + " failed" : "");
  // Times of different commands have no common median; their ratios to nominal do.
  const bool oneKind = parts.size() == 1;
  PrintRow(label + ": median", oneKind ? Fixed(Median(ms), 2) + " ms" : "-", nominal,
           Fixed(Median(ratios), 3), "<= 1.05");
  PrintRow(label + ": p99", oneKind ? Fixed(Quantile(ms, 0.99), 2) + " ms" : "-", nominal,
           Fixed(Quantile(ratios, 0.99), 3), "<= 1.20");
}

// One row: where the time above nominal goes, as medians (p99 in brackets).
void ReportBreakdown(const char* what, std::uint32_t rate, const TSeries& s) {
  if (s.sendMs.empty()) return;
  const auto both = [](const std::vector<double>& ms) {
    return Fixed(Median(ms), 2) + " (" + Fixed(Quantile(ms, 0.99), 2) + ")";
  };
  PrintRow(Label(what, rate, s.sendMs.size()) + ": where the time above nominal goes, ms",
           "click to request at the device " + both(s.sendMs) + " [port open " + both(s.openMs) +
               "]; last reply byte to verdict less 5 ms " + both(s.takeUpMs) + " = read " +
               Fixed(Median(s.readMs), 2) + " + hand-over and Timer_Rx " +
               Fixed(Median(s.timerMs), 2) + " + end step " + Fixed(Median(s.endStepMs), 2) +
               " [port close " + both(s.closeMs) + "]",
           "-", "-", "-");
}

void ReportAboveNominal(const char* what, std::uint32_t rate, const TSeries& s) {
  std::vector<double> above;
  for (double ms : s.ms)
    above.push_back(ms - s.nominalMs);
  const std::string label = Label(what, rate, above.size()) +
                            (s.failures ? ", " + std::to_string(s.failures) + " failed" : "");
  PrintRow(label + ": time above line + turnaround + 5 ms, median", Fixed(Median(above), 2) + " ms",
           Fixed(s.nominalMs, 2) + " ms", "-", "<= 1 ms");
  PrintRow(label + ": same, p99", Fixed(Quantile(above, 0.99), 2) + " ms",
           Fixed(s.nominalMs, 2) + " ms", "-", "-");
}

struct TRateRun {
  TSeries queries;
  TSeries writes;
};

TRateRun RunAtRate(std::uint8_t baudCode, int count) {
  ResetLinkState();
  TReplyTrace trace;
  sim::TVirtualBus bus({.trace = [&trace](const sim::TTraceEvent& event) { trace.Add(event); }});
  sim::TVirtualDevice& device = bus.AddDevice({.baudCode = baudCode});
  bus.Start();
  TForm1 form;
  form.ComPort1->SetPort(bus.SlavePath());
  // The operator's choice in the BaudRate menu; the index of the menu is the baud code less one.
  form.BaudItems[static_cast<std::size_t>(baudCode - 1)]->trigger();
  TStepClock steps;
  WatchSteps(form, steps);
  form.show();
  RunEventLoopFor(milliseconds(100));  // the first paint and activation, out of the figures
  const std::uint32_t rate = sim::RateOfBaudCode(baudCode);
  TRateRun run;
  run.queries =
      TimeCommand(form, *form.TeButton4, count, kQueryReplyLength, device, trace, steps, rate);
  run.writes =
      TimeCommand(form, *form.TeButton2, count, kWriteReplyLength, device, trace, steps, rate);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  TBenchApplication application(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;

  const TRateRun slow = RunAtRate(4, count);
  ReportAgainstNominal("Exchange, parameter query", 9600, {slow.queries});
  ReportAgainstNominal("Exchange, write (ВКЛЮЧИТЬ)", 9600, {slow.writes});
  ReportAgainstNominal("Exchange, both", 9600, {slow.queries, slow.writes});
  ReportBreakdown("Exchange, parameter query", 9600, slow.queries);
  ReportBreakdown("Exchange, write (ВКЛЮЧИТЬ)", 9600, slow.writes);

  const TRateRun fast = RunAtRate(8, count);
  ReportAboveNominal("Exchange, parameter query", 57600, fast.queries);
  ReportAboveNominal("Exchange, write (ВКЛЮЧИТЬ)", 57600, fast.writes);
  ReportBreakdown("Exchange, parameter query", 57600, fast.queries);
  ReportBreakdown("Exchange, write (ВКЛЮЧИТЬ)", 57600, fast.writes);
  return 0;
}
