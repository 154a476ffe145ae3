// apply: a commissioning plan, row by row, after the whole plan has been checked.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>

#include "bus/apply.h"
#include "bus/device_requests.h"
#include "bus/messages.h"
#include "bus/plan.h"
#include "bus/settings_writer.h"
#include "cli/block_text.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "protocol/baud_rates.h"
#include "serial/com_exception.h"

const char kApplyUsage[] = N_(R"(Usage: tarvi-cli apply PLAN.csv [--stop-on-error] [OPTION]...
Brings every device named in a plan to the settings the plan asks for. The whole plan is checked
first: a bad row is reported as FILE:LINE with its fault and nothing is sent. Then, row by row,
the device's parameter block is read; a row whose device is already as wanted writes nothing
(unchanged), otherwise the settings that differ are written and read back (changed), or the row
fails with its reason (failed).

The plan is CSV with a header row, e.g.
  port,address,rate,power_up,on_command,remember,new_address,new_rate
  {plan-port},247,9600,0,2,yes,5,19200
port and address are required, rate is the rate the device answers at now (default 9600), an
empty cell leaves that setting as it is. A device that already took its new address and rate is
found there, so a plan can be applied again.

      --stop-on-error  stop at the first row that fails
      --timeout MS     wait this long for each reply to begin (default by rate)
      --gap MS         the silence that ends bytes that cannot become the reply (as for read)
      --echo           the adapter echoes each request: drop that copy (as for read)
      --rs485          RTS on while sending and off after, by the driver (as for read)
      --json           one JSON document: every row with its result, then a summary
      --trace          every request and reply on standard error
  -q, --quiet          no output on success
  -h, --help           this help
Exit status 0 only when every row ends as wanted; 1 when a device failed, 2 for a bad plan,
3 when a port could not be used.
)");

namespace {

// Its name in --json.
const char* RowEndName(TRowEnd end) {
  switch (end) {
    case TRowEnd::Unchanged:
      return "unchanged";
    case TRowEnd::Changed:
      return "changed";
    case TRowEnd::Failed:
      break;
  }
  return "failed";
}

// The plan file, read and checked whole. Throws EUsage when it cannot be read.
TPlan ReadPlan(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in) {
    throw EUsage(Format(Tr("cannot read the plan %s: %s"), file.c_str(), std::strerror(errno)));
  }
  return ParsePlan(text.str());
}

// Every fault of the plan as FILE:LINE: MESSAGE, and with --json as one document.
TExitStatus ReportPlanErrors(const TCommon& common, const std::string& file, const TPlan& plan) {
  TJsonWriter json;
  json.BeginObject().Key("errors").BeginArray();
  for (const TPlanError& error : plan.errors) {
    std::cerr << file;
    if (error.line > 0) std::cerr << ':' << error.line;
    std::cerr << ": " << error.message << '\n';
    json.BeginObject().Member("file", file).Member("line", error.line);
    json.Member("message", error.message).EndObject();
  }
  json.EndArray().EndObject();
  if (common.json) std::cout << json.Text() << '\n';
  Complain(Tr("the plan has errors; nothing was sent"));
  return TExitStatus::Usage;
}

// A failed row's fault kind (as --json names it) and its reason; no kind when it did not fail.
std::pair<const char*, std::string> FaultOf(const TPlanRow& row, const TRowResult& outcome) {
  if (outcome.fault) return {FaultKindName(outcome.fault->Kind), outcome.fault->what()};
  if (outcome.portFailure) {
    try {
      std::rethrow_exception(outcome.portFailure);
    } catch (const EComPort& failure) {
      return {"port", PortFailureText(row.port, failure, failure.SystemErrorCode)};
    }
  }
  return {nullptr, {}};
}

// The rows of a plan as they end, each a line (or a failure on standard error with -q or --json)
// and an entry in the one JSON document, and the summary.
class TApplication : public TApplyObserver {
 public:
  TApplication(TSession& session, const std::string& file, bool stopOnError)
      : session_(session), file_(file), stopOnError_(stopOnError) {
    json_.BeginObject().Member("plan", file).Key("rows").BeginArray();
  }

  void Run(const std::vector<TPlanRow>& rows) {
    tally_ = Apply(session_.Lines(), rows, {session_.Options().timeout, stopOnError_}, *this,
                   StopToken());
  }

  TExitStatus Summarise(unsigned rows) {
    const unsigned skipped = rows - tally_.changed - tally_.unchanged - tally_.failed;
    json_.EndArray().Key("summary").BeginObject();
    json_.Member("rows", rows).Member("changed", tally_.changed);
    json_.Member("unchanged", tally_.unchanged);
    json_.Member("failed", tally_.failed).Member("not_tried", skipped).EndObject().EndObject();
    session_.Emit(json_.Text());
    session_.Say(Format(Tr("%u rows: %u changed, %u unchanged, %u failed, %u not tried"), rows,
                        tally_.changed, tally_.unchanged, tally_.failed, skipped));
    if (tally_.portFailed) return TExitStatus::PortFailed;
    return tally_.failed + skipped == 0 ? TExitStatus::Done : TExitStatus::DeviceFailed;
  }

  void RowEnded(const TPlanRow& row, const TRowResult& outcome) override {
    const auto [faultKind, reason] = FaultOf(row, outcome);
    json_.BeginObject().Member("line", row.line).Member("port", row.port);
    json_.Member("address", unsigned{row.address});
    json_.Member("rate", unsigned{BaudTable[row.baudIndex]});
    json_.Member("result", RowEndName(outcome.end));
    json_.Key("writes");
    WriteWritesJson(json_, outcome.writes);
    json_.Key("warnings").BeginArray();
    for (const std::string& warning : outcome.warnings)
      json_.String(warning);
    json_.EndArray();
    if (outcome.block) {
      json_.Key("block");
      WriteBlockJson(json_, *outcome.block);
    }
    if (faultKind) {
      json_.Key("error");
      WriteErrorJson(json_, faultKind, reason);
    }
    json_.EndObject();

    const std::string where = Format("%s:%d  %s %u @%u", file_.c_str(), row.line, row.port.c_str(),
                                     unsigned{row.address}, unsigned{BaudTable[row.baudIndex]});
    for (const std::string& warning : outcome.warnings)
      session_.Warn(Format(Tr("%s: warning: %s"), where.c_str(), warning.c_str()));
    if (outcome.end == TRowEnd::Unchanged) {
      session_.Say(Format(Tr("%s: unchanged"), where.c_str()));
    } else if (outcome.end == TRowEnd::Changed) {
      std::string writes;
      for (const TWrite& write : outcome.writes)
        writes += (writes.empty() ? "" : ", ") + WriteText(write);
      session_.Say(Format(Tr("%s: changed (%s)"), where.c_str(), writes.c_str()));
    } else {
      const std::string line = Format(Tr("%s: failed: %s"), where.c_str(), reason.c_str());
      // A failure is reported even with -q.
      if (session_.Options().quiet || session_.Options().json) {
        std::cerr << line << '\n';
      } else {
        session_.Say(line);
      }
    }
  }

 private:
  TSession& session_;
  const std::string& file_;
  const bool stopOnError_;
  TJsonWriter json_;
  TApplyTally tally_;
};

}  // namespace

TExitStatus RunApply(const TInvocation& invocation) {
  const std::string file = invocation.arguments.Positional().front();
  const bool stopOnError = invocation.arguments.Has("stop-on-error");
  const TPlan plan = ReadPlan(file);
  if (!plan.errors.empty()) return ReportPlanErrors(invocation.common, file, plan);
  return RunReporting(invocation.common, [&](TSession& session) {
    TApplication application(session, file, stopOnError);
    application.Run(plan.rows);
    return application.Summarise(static_cast<unsigned>(plan.rows.size()));
  });
}
