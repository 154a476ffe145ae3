// watch: the parameter block read again and again, a line per read, changes marked, and a
// summary of answers, errors and times at the end.
#include <algorithm>
#include <ctime>
#include <iostream>
#include <map>

#include "cli/block_text.h"
#include "cli/commands.h"
#include "cli/device_requests.h"
#include "cli/json_writer.h"
#include "cli/messages.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "cli/values.h"
#include "protocol/baud_rates.h"
#include "serial/com_exception.h"

namespace {

constexpr const char* kWatchUsage =
    R"(Usage: tarvi-cli watch -p PORT -a ADDRESS [-r RATE] [--count N] [--interval MS] [OPTION]...
Reads the parameter block of the device at ADDRESS again and again and prints a line per read
with its time; a field that changed since the read before is marked with '*'. Ctrl-C (or the
end of --count) prints a summary of answers, errors and reply times.

      --count N        stop after N reads (default: until Ctrl-C)
      --interval MS    pause between the end of one read and the next (default 1000; 0: back
                       to back)
  -p, -a, -r, --timeout, --gap, --json, --trace, -q, -h as for read; --json prints one document at
  the end with every read and the summary
)";

std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::localtime(&seconds));
  return Format("%s.%03lld", text, static_cast<long long>(millis));
}

}  // namespace

int RunWatch(TWords words) {
  static constexpr TOptionSpec kOptions[] = {kPortOption,
                                             kAddressOption,
                                             kRateOption,
                                             kJsonOption,
                                             kTraceOption,
                                             kTimeoutOption,
                                             kQuietOption,
                                             kHelpOption,
                                             kGapOption,
                                             {"count", 'n', true},
                                             {"interval", 'i', true}};
  const TArguments arguments(words, kOptions);
  if (arguments.Has("help")) {
    std::cout << Tr(kWatchUsage);
    return 0;
  }
  if (!arguments.Positional().empty())
    throw EUsage(Format(Tr("unexpected argument '%s'"), arguments.Positional().front().c_str()));
  const TCommon common = ReadCommon(arguments, true, true);
  unsigned count = 0;
  if (const auto text = arguments.Value("count")) {
    const auto value = ParseNumber(*text, 1, 100'000'000);
    if (!value) throw EUsage(Format(Tr("--count '%s' is not a number 1 or more"), text->c_str()));
    count = *value;
  }
  const std::chrono::milliseconds interval =
      ReadMilliseconds(arguments, "interval", std::chrono::milliseconds(1000));

  InstallStopHandler();
  return RunReporting(common, [&] {
    TSession session(common);
    const TTarget target{common.address, common.baudIndex, common.timeout};
    std::vector<double> times;
    std::map<std::string, unsigned> errorsByKind;
    unsigned reads = 0;
    std::optional<TParameterBlock> previous;
    TJsonWriter json;
    json.BeginObject();
    json.Member("port", common.port).Member("address", unsigned{common.address});
    json.Member("rate", unsigned{BaudTable[common.baudIndex]});
    json.Key("reads").BeginArray();

    const auto summarise = [&] {
      const unsigned errors = reads - static_cast<unsigned>(times.size());
      std::string line =
          Format(Tr("%u reads: %zu answers, %u errors"), reads, times.size(), errors);
      if (!errorsByKind.empty()) {
        std::string kinds;
        for (const auto& [kind, number] : errorsByKind)
          kinds += (kinds.empty() ? "" : ", ") + Format("%s %u", kind.c_str(), number);
        line += " (" + kinds + ")";
      }
      std::vector<double> sorted = times;
      std::sort(sorted.begin(), sorted.end());
      json.EndArray();
      json.Key("summary").BeginObject();
      json.Member("reads", reads).Member("answers", static_cast<unsigned>(times.size()));
      json.Member("errors", errors);
      if (!sorted.empty()) {
        const double median = sorted[sorted.size() / 2];
        line += Format(Tr("; reply time min %.1f, median %.1f, max %.1f ms"), sorted.front(),
                       median, sorted.back());
        json.Key("min_ms").Number(sorted.front(), 2);
        json.Key("median_ms").Number(median, 2);
        json.Key("max_ms").Number(sorted.back(), 2);
      }
      json.EndObject().EndObject();
      session.Say(line);
      session.Emit(json.Text());
      return errors == 0 ? 0 : 1;
    };

    TDeviceLine& line = session.Line();
    bool readOpen = false;
    try {
      while (!StopRequested() && (count == 0 || reads < count)) {
        if (reads > 0) {
          PauseUnlessStopped(interval);
          if (StopRequested()) break;
        }
        ++reads;
        const std::string at = Now();
        json.BeginObject().Member("n", reads).Member("time", at);
        readOpen = true;
        try {
          const TBlockReading reading = ReadParameterBlock(line, target);
          const std::vector<std::string> changed =
              previous ? ChangedFields(*previous, reading.block) : std::vector<std::string>{};
          times.push_back(reading.replyTime.count());
          session.Say(Format("%s  #%-4u %s   %.1f ms", at.c_str() + 11, reads,
                             BlockSummary(reading.block, changed).c_str(),
                             reading.replyTime.count()));
          json.Key("ms").Number(reading.replyTime.count(), 2);
          json.Key("block");
          WriteBlockJson(json, reading.block);
          json.Key("changed").BeginArray();
          for (const std::string& field : changed)
            json.String(field);
          json.EndArray();
          previous = reading.block;
        } catch (const TDeviceFault& fault) {
          ++errorsByKind[FaultKindName(fault.Kind)];
          session.Say(Format("%s  #%-4u %s", at.c_str() + 11, reads, fault.what()));
          json.Key("error").BeginObject();
          json.Member("kind", FaultKindName(fault.Kind)).Member("message", fault.what());
          json.EndObject();
        }
        json.EndObject();
        readOpen = false;
      }
    } catch (const EComPort&) {
      if (readOpen) json.EndObject();  // the read the port failed in
      summarise();
      throw;
    }
    return summarise();
  });
}
