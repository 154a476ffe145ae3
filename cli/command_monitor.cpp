// monitor: listens to a line that another master drives, and never sends: each frame with its
// time and CRC verdict, requests paired with their replies and decoded, a summary per address.
#include <algorithm>
#include <ctime>

#include "bus/listen.h"
#include "bus/messages.h"
#include "bus/values.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "protocol/baud_rates.h"
#include "protocol/traffic_lines.h"

const char kMonitorUsage[] = N_(
    R"(Usage: tarvi-cli monitor -p PORT [-r RATE] [--gap MS] [--count N] [--duration S] [OPTION]...
Listens to a line that another master (a control panel) drives, and sends nothing: DTR and RTS
stay off. Each frame is shown with its time and CRC verdict; a request is paired with the reply
that follows it from the same device and decoded ("5 read parameters -> ТАРВИ-А: mode 0 (off),
...", "5 write address 12 -> confirmed"); a request that gets no reply within the family's
time-out is shown as unanswered; replies without a request, other functions and garbled bytes
are shown raw with their fault, and two frames that came closer than 3.5 characters are marked.
The end (--count, --duration or Ctrl-C) prints a summary per address.

  -p, --port PORT      the serial port
  -r, --rate RATE      the line's rate in Bd (default 9600)
      --gap MS         the silence after which bytes that form no frame count as garbled
                       (default 3.5 characters and the adapter's latency timer and 10 ms, or
                       42 ms when the system does not tell the latency)
  -n, --count N        stop after N frames (and the reply to the last request)
      --duration S     stop after S seconds
      --json           one JSON object per line: each frame and event, then the summary
  -q, --quiet          only the summary
  -h, --help           this help
Frames are cut by their function, length and CRC, so a reply that a USB adapter hands over in
pieces stays whole and two frames without a silence between them are still two. Exit status 0,
or 3 when the port cannot be used.
)");

namespace {

using Clock = std::chrono::steady_clock;

TListenPlan ReadMonitorOptions(const TArguments& arguments) {
  TListenPlan options;
  if (const auto text = arguments.Value("count")) {
    const auto value = ParseNumber(*text, 1, 100'000'000);
    if (!value) throw EUsage(Format(Tr("--count '%s' is not a number 1 or more"), text->c_str()));
    options.count = *value;
  }
  if (const auto text = arguments.Value("duration")) {
    const auto value = ParseNumber(*text, 1, 31'536'000);
    if (!value)
      throw EUsage(Format(Tr("--duration '%s' is not a number of seconds"), text->c_str()));
    options.duration = std::chrono::seconds(*value);
  }
  if (arguments.Has("gap")) options.gap = ReadGap(arguments);
  return options;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

// The output of listening: a line (or a JSON object line) for each frame and event, and the
// summary with a row per address.
class TMonitor : public TListenObserver {
 public:
  TMonitor(TDeviceLine& line, TSession& session, const TListenPlan& options)
      : session_(session),
        listen_(line, options, *this),
        wallStarted_(std::chrono::system_clock::now()) {}

  void Run() { listen_.Run(StopToken()); }

  TExitStatus Summarise() {
    const TLineTally& tally = listen_.Tally();
    const double seconds = std::chrono::duration<double>(Clock::now() - listen_.Started()).count();
    session_.Say(Format(Tr("%u frames in %.1f s: %u garbled, %u too close, %u replies without a "
                           "request, %u of other functions, %u requests left open%s"),
                        tally.frames, seconds, tally.garbled, tally.tooClose, tally.unsolicited,
                        tally.other, tally.open, StopRequested() ? Tr(" (stopped)") : ""));
    if (!tally.addresses.empty())
      session_.Say(
          Tr("address  requests  answers  no answer  CRC errors  exceptions  reply time "
             "min / median / max"));
    TJsonWriter json;
    json.BeginObject().Key("summary").BeginObject();
    json.Member("frames", tally.frames).Member("garbled", tally.garbled);
    json.Member("too_close", tally.tooClose).Member("unsolicited", tally.unsolicited);
    json.Member("other", tally.other).Member("open", tally.open);
    json.Key("seconds").Number(seconds, 3);
    json.Member("stopped", StopRequested());
    json.Key("addresses").BeginArray();
    for (const auto& [address, row] : tally.addresses) {
      std::string times = "-";
      json.BeginObject().Member("address", address).Member("requests", row.requests);
      json.Member("answers", row.answers).Member("no_answers", row.noAnswers);
      json.Member("crc_errors", row.crcErrors).Member("exceptions", row.exceptions);
      if (!row.replyMs.empty()) {
        const auto [low, high] = std::minmax_element(row.replyMs.begin(), row.replyMs.end());
        const double median = Median(row.replyMs);
        times = Format(Tr("%.1f / %.1f / %.1f ms"), *low, median, *high);
        json.Key("min_ms").Number(*low, 2);
        json.Key("median_ms").Number(median, 2);
        json.Key("max_ms").Number(*high, 2);
      }
      json.EndObject();
      session_.Say(Format("%-7u  %8u  %7u  %9u  %10u  %10u  %s", address, row.requests, row.answers,
                          row.noAnswers, row.crcErrors, row.exceptions, times.c_str()));
    }
    json.EndArray().EndObject().EndObject();
    session_.Emit(json.Text());
    return TExitStatus::Done;
  }

 private:
  std::string TimeOf(Clock::time_point at) const {
    const auto wall =
        wallStarted_ +
        std::chrono::duration_cast<std::chrono::system_clock::duration>(at - listen_.Started());
    const std::time_t seconds = std::chrono::system_clock::to_time_t(wall);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count() %
        1000;
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&seconds));
    return Format("%s.%03lld", text, static_cast<long long>(millis));
  }

  void Event(const TLineEvent& event) override {
    const std::string time = TimeOf(event.at);
    const bool frame = event.kind != TLineEvent::TKind::NoAnswer;
    const double silenceMs =
        std::chrono::duration<double, std::milli>(listen_.FrameSilence()).count();
    // Padded by characters, so that a translated verdict lines up too.
    const char* verdict = !frame ? "" : event.crcOk ? Tr("CRC ok") : Tr("CRC error");
    std::string line =
        Format("%s  %s  %s", time.c_str(), PadRight(verdict, 9).c_str(), event.text.c_str());
    if (event.replyMs) line += Format(Tr(" (%.1f ms)"), *event.replyMs);
    if (event.tooCloseMs)
      line += Format(Tr("  [too close: at most %.1f ms after the frame before, less than the "
                        "%.1f ms of silence]"),
                     *event.tooCloseMs, silenceMs);
    session_.Say(line);

    TJsonWriter json;
    json.BeginObject().Member("time", time);
    json.Key("t").Number(std::chrono::duration<double>(event.at - listen_.Started()).count(), 4);
    json.Member("kind", EventKindName(event.kind));
    if (frame) {
      json.Member("crc", event.crcOk ? "ok" : "error");
      std::string hex = HexCells(event.bytes.data(), event.bytes.size());
      if (!hex.empty()) hex.pop_back();
      json.Member("bytes", hex);
    }
    if (event.address) json.Member("address", *event.address);
    if (event.function) json.Member("function", *event.function);
    json.Member("text", event.text);
    if (event.replyMs) json.Key("reply_ms").Number(*event.replyMs, 2);
    if (event.waitedMs) json.Key("waited_ms").Number(*event.waitedMs, 0);
    if (event.tooCloseMs) json.Key("too_close_ms").Number(*event.tooCloseMs, 2);
    session_.Emit(json.EndObject().Text());
  }

  TSession& session_;
  TListen listen_;
  const std::chrono::system_clock::time_point wallStarted_;
};

}  // namespace

TExitStatus RunMonitor(const TInvocation& invocation) {
  const TListenPlan options = ReadMonitorOptions(invocation.arguments);
  InstallStopHandler();
  return RunReporting(invocation.common, [&](TSession& session) {
    TDeviceLine& line = session.Line();
    session.Warn(Format(Tr("listening on %s at %u Bd, sending nothing; Ctrl-C ends with a "
                           "summary"),
                        session.Options().port.c_str(), BaudTable[session.Options().baudIndex]));
    TMonitor monitor(line, session, options);
    monitor.Run();
    return monitor.Summarise();
  });
}
