// watch: the parameter block read again and again, a line per read, changes marked, and a
// summary of answers, errors and times at the end.
#include <algorithm>
#include <ctime>
#include <iostream>

#include "bus/device_requests.h"
#include "bus/messages.h"
#include "bus/values.h"
#include "bus/watch.h"
#include "cli/block_text.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "protocol/baud_rates.h"
#include "serial/com_exception.h"

const char kWatchUsage[] = N_(
    R"(Usage: tarvi-cli watch -p PORT -a ADDRESS [-r RATE] [--count N] [--interval MS] [OPTION]...
Reads the parameter block of the device at ADDRESS again and again and prints a line per read
with its time; a field that changed since the read before is marked with '*'. Ctrl-C (or the
end of --count) prints a summary of answers, errors and reply times.

      --count N        stop after N reads (default: until Ctrl-C)
      --interval MS    pause between the end of one read and the next (default 1000; 0: back
                       to back)
  -p, -a, -r, --timeout, --gap, --echo, --rs485, --json, --trace, -q, -h as for read; --json prints one document at
  the end with every read and the summary
)");

namespace {

std::string TimeText(std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::localtime(&seconds));
  return Format("%s.%03lld", text, static_cast<long long>(millis));
}

// watch's own options. Throws EUsage.
TWatchPlan ReadWatchOptions(const TArguments& arguments) {
  TWatchPlan watch;
  if (const auto text = arguments.Value("count")) {
    const auto value = ParseNumber(*text, 1, 100'000'000);
    if (!value) throw EUsage(Format(Tr("--count '%s' is not a number 1 or more"), text->c_str()));
    watch.count = *value;
  }
  watch.interval = ReadMilliseconds(arguments, "interval", watch.interval);
  return watch;
}

// The output of one watch: a line for each read, and an entry each in the session's JSON
// document (begun here, so that a port failure ends it with the summary and the error).
class TWatchReport : public TWatchObserver {
 public:
  TWatchReport(TSession& session, TDeviceLine& line, const TWatchPlan& plan)
      : session_(session),
        watch_(
            line,
            {session.Options().address, session.Options().baudIndex, session.Options().timeout, {}},
            plan, *this),
        json_(session.BeginDocument()) {
    const TCommon& common = session.Options();
    json_.Member("port", common.port).Member("address", unsigned{common.address});
    json_.Member("rate", unsigned{BaudTable[common.baudIndex]});
    json_.Key("reads").BeginArray();
    readsDepth_ = json_.Depth();
  }

  // Reads until --count or a stop; a port failure ends the reads with their summary and leaves.
  void Run() {
    try {
      watch_.Run(StopToken());
    } catch (const EComPort&) {
      json_.CloseTo(readsDepth_);  // the read the port failed in
      Summarise();
      throw;
    }
  }

  // The summary line and the document's "summary"; 0 when every read was answered, else 1.
  TExitStatus Summarise() {
    const TWatchTally& tally = watch_.Tally();
    const unsigned errors = tally.Errors();
    std::string line =
        Format(Tr("%u reads: %zu answers, %u errors"), tally.reads, tally.replyMs.size(), errors);
    if (!tally.faultsByKind.empty()) {
      std::string kinds;
      for (const auto& [kind, number] : tally.faultsByKind)
        kinds += (kinds.empty() ? "" : ", ") + Format("%s %u", kind.c_str(), number);
      line += " (" + kinds + ")";
    }
    std::vector<double> sorted = tally.replyMs;
    std::sort(sorted.begin(), sorted.end());
    json_.EndArray();
    json_.Key("summary").BeginObject();
    json_.Member("reads", tally.reads).Member("answers", static_cast<unsigned>(sorted.size()));
    json_.Member("errors", errors);
    if (!sorted.empty()) {
      const double median = sorted[sorted.size() / 2];
      line += Format(Tr("; reply time min %.1f, median %.1f, max %.1f ms"), sorted.front(), median,
                     sorted.back());
      json_.Key("min_ms").Number(sorted.front(), 2);
      json_.Key("median_ms").Number(median, 2);
      json_.Key("max_ms").Number(sorted.back(), 2);
    }
    json_.EndObject();
    session_.Say(line);
    return errors == 0 ? TExitStatus::Done : TExitStatus::DeviceFailed;
  }

  void ReadBegins(unsigned number, std::chrono::system_clock::time_point at) override {
    at_ = TimeText(at);
    json_.BeginObject().Member("n", number).Member("time", at_);
  }

  void ReadEnded(const TWatchRead& read) override {
    if (read.reading) {
      const TBlockReading& reading = *read.reading;
      const std::vector<std::string> changed =
          read.previous ? ChangedFields(*read.previous, reading.block) : std::vector<std::string>{};
      session_.Say(Format(Tr("%s  #%-4u %s   %.1f ms"), at_.c_str() + 11, read.number,
                          BlockSummary(reading.block, changed).c_str(), reading.replyTime.count()));
      json_.Key("ms").Number(reading.replyTime.count(), 2);
      json_.Key("block");
      WriteBlockJson(json_, reading.block);
      json_.Key("changed").BeginArray();
      for (const std::string& field : changed)
        json_.String(field);
      json_.EndArray();
    } else if (read.fault) {
      const TDeviceFault& fault = *read.fault;
      session_.Say(Format("%s  #%-4u %s", at_.c_str() + 11, read.number, fault.what()));
      json_.Key("error");
      WriteErrorJson(json_, FaultKindName(fault.Kind), fault.what());
    }
    json_.EndObject();
  }

 private:
  TSession& session_;
  TWatch watch_;
  TJsonWriter& json_;
  std::size_t readsDepth_ = 0;  // the depth of the document inside "reads"
  std::string at_;              // the time of the read under way
};

}  // namespace

TExitStatus RunWatch(const TInvocation& invocation) {
  const TWatchPlan options = ReadWatchOptions(invocation.arguments);
  InstallStopHandler();
  return RunReporting(invocation.common, [&](TSession& session) {
    // The port opens before the document begins: a port that cannot be opened gets the plain
    // error document.
    TDeviceLine& line = session.Line();
    TWatchReport watch(session, line, options);
    watch.Run();
    const TExitStatus status = watch.Summarise();
    session.EmitDocument();
    return status;
  });
}
