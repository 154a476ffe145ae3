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

std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::localtime(&seconds));
  return Format("%s.%03lld", text, static_cast<long long>(millis));
}

struct TWatchOptions {
  unsigned count = 0;  // 0: until stopped
  std::chrono::milliseconds interval{1000};
};

// watch's own options. Throws EUsage.
TWatchOptions ReadWatchOptions(const TArguments& arguments) {
  TWatchOptions watch;
  if (const auto text = arguments.Value("count")) {
    const auto value = ParseNumber(*text, 1, 100'000'000);
    if (!value) throw EUsage(Format(Tr("--count '%s' is not a number 1 or more"), text->c_str()));
    watch.count = *value;
  }
  watch.interval = ReadMilliseconds(arguments, "interval", watch.interval);
  return watch;
}

// The reads of one watch: a line each, and an entry each in the session's JSON document (begun
// here, so that a port failure ends it with the summary and the error).
class TWatch {
 public:
  TWatch(TSession& session, TDeviceLine& line, const TWatchOptions& options)
      : session_(session),
        line_(line),
        options_(options),
        target_{
            session.Options().address, session.Options().baudIndex, session.Options().timeout, {}},
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
      while (!StopRequested() && (options_.count == 0 || reads_ < options_.count)) {
        if (reads_ > 0) {
          PauseUnlessStopped(options_.interval);
          if (StopRequested()) break;
        }
        ReadOnce();
      }
    } catch (const EComPort&) {
      json_.CloseTo(readsDepth_);  // the read the port failed in
      Summarise();
      throw;
    }
  }

  // The summary line and the document's "summary"; 0 when every read was answered, else 1.
  TExitStatus Summarise() {
    const unsigned errors = reads_ - static_cast<unsigned>(times_.size());
    std::string line =
        Format(Tr("%u reads: %zu answers, %u errors"), reads_, times_.size(), errors);
    if (!errorsByKind_.empty()) {
      std::string kinds;
      for (const auto& [kind, number] : errorsByKind_)
        kinds += (kinds.empty() ? "" : ", ") + Format("%s %u", kind.c_str(), number);
      line += " (" + kinds + ")";
    }
    std::vector<double> sorted = times_;
    std::sort(sorted.begin(), sorted.end());
    json_.EndArray();
    json_.Key("summary").BeginObject();
    json_.Member("reads", reads_).Member("answers", static_cast<unsigned>(times_.size()));
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

 private:
  void ReadOnce() {
    ++reads_;
    const std::string at = Now();
    json_.BeginObject().Member("n", reads_).Member("time", at);
    try {
      const TBlockReading reading = ReadParameterBlock(line_, target_);
      const std::vector<std::string> changed =
          previous_ ? ChangedFields(*previous_, reading.block) : std::vector<std::string>{};
      times_.push_back(reading.replyTime.count());
      session_.Say(Format(Tr("%s  #%-4u %s   %.1f ms"), at.c_str() + 11, reads_,
                          BlockSummary(reading.block, changed).c_str(), reading.replyTime.count()));
      json_.Key("ms").Number(reading.replyTime.count(), 2);
      json_.Key("block");
      WriteBlockJson(json_, reading.block);
      json_.Key("changed").BeginArray();
      for (const std::string& field : changed)
        json_.String(field);
      json_.EndArray();
      previous_ = reading.block;
    } catch (const TDeviceFault& fault) {
      ++errorsByKind_[FaultKindName(fault.Kind)];
      session_.Say(Format("%s  #%-4u %s", at.c_str() + 11, reads_, fault.what()));
      json_.Key("error");
      WriteErrorJson(json_, FaultKindName(fault.Kind), fault.what());
    }
    json_.EndObject();
  }

  TSession& session_;
  TDeviceLine& line_;
  const TWatchOptions& options_;
  const TTarget target_;
  TJsonWriter& json_;
  std::size_t readsDepth_ = 0;  // the depth of the document inside "reads"
  std::vector<double> times_;
  std::map<std::string, unsigned> errorsByKind_;
  unsigned reads_ = 0;
  std::optional<TParameterBlock> previous_;
};

}  // namespace

TExitStatus RunWatch(const TInvocation& invocation) {
  const TWatchOptions options = ReadWatchOptions(invocation.arguments);
  InstallStopHandler();
  return RunReporting(invocation.common, [&](TSession& session) {
    // The port opens before the document begins: a port that cannot be opened gets the plain
    // error document.
    TDeviceLine& line = session.Line();
    TWatch watch(session, line, options);
    watch.Run();
    const TExitStatus status = watch.Summarise();
    session.EmitDocument();
    return status;
  });
}
