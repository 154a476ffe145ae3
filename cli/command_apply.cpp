// apply: a commissioning plan, row by row, after the whole plan has been checked.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/block_text.h"
#include "cli/commands.h"
#include "cli/device_requests.h"
#include "cli/json_writer.h"
#include "cli/messages.h"
#include "cli/plan.h"
#include "cli/session.h"
#include "cli/settings_writer.h"
#include "protocol/baud_rates.h"
#include "serial/com_exception.h"

namespace {

constexpr const char* kApplyUsage = R"(Usage: tarvi-cli apply PLAN.csv [--stop-on-error] [OPTION]...
Brings every device named in a plan to the settings the plan asks for. The whole plan is checked
first: a bad row is reported as FILE:LINE with its fault and nothing is sent. Then, row by row,
the device's parameter block is read; a row whose device is already as wanted writes nothing
(unchanged), otherwise the settings that differ are written and read back (changed), or the row
fails with its reason (failed).

The plan is CSV with a header row, e.g.
  port,address,rate,power_up,on_command,remember,new_address,new_rate
  /dev/ttyUSB0,247,9600,0,2,yes,5,19200
port and address are required, rate is the rate the device answers at now (default 9600), an
empty cell leaves that setting as it is. A device that already took its new address and rate is
found there, so a plan can be applied again.

      --stop-on-error  stop at the first row that fails
      --timeout MS     wait this long for each reply to begin (default by rate)
      --gap MS         the silence that ends a reply shorter than expected (default 5)
      --json           one JSON document: every row with its result, then a summary
      --trace          every request and reply on standard error
  -q, --quiet          no output on success
  -h, --help           this help
Exit status 0 only when every row ends as wanted; 1 when a device failed, 2 for a bad plan,
3 when a port could not be used.
)";

struct TRowResult {
  const char* result = "failed";  // "unchanged", "changed", "failed"
  std::vector<TWrite> writes;
  std::optional<TParameterBlock> block;
  std::string reason;
  const char* faultKind = nullptr;
};

TWantedSettings WantedOf(const TPlanRow& row) {
  return {row.powerUp, row.onCommand, row.remember, row.newAddress, row.newBaudIndex};
}

// Reads the device where the row says it is; when it does not answer there and the row moves it,
// where it would be once moved (the plan applied before).
TBlockReading FindDevice(TSession& session, const TPlanRow& row, TTarget& target) {
  try {
    return ReadParameterBlock(session.Line(row.port, target.baudIndex), target);
  } catch (const TDeviceFault& fault) {
    if (fault.Kind != TFaultKind::NoAnswer || (!row.newAddress && !row.newBaudIndex)) throw;
    TTarget moved = target;
    if (row.newAddress) moved.address = *row.newAddress;
    if (row.newBaudIndex) moved.baudIndex = *row.newBaudIndex;
    try {
      TBlockReading reading = ReadParameterBlock(session.Line(row.port, moved.baudIndex), moved);
      target = moved;
      return reading;
    } catch (const TDeviceFault&) {
      throw fault;  // the first fault names where the plan said the device is
    }
  }
}

TRowResult ApplyRow(TSession& session, const TPlanRow& row) {
  TRowResult outcome;
  TTarget target{row.address, row.baudIndex, session.Options().timeout};
  const TWantedSettings wanted = WantedOf(row);
  const TBlockReading current = FindDevice(session, row, target);
  outcome.writes = PlanWrites(wanted, &current.block);
  if (outcome.writes.empty()) {
    outcome.result = "unchanged";
    outcome.block = current.block;
    return outcome;
  }
  const TBlockReading after =
      CarryOut(session.Line(row.port, target.baudIndex), target, outcome.writes, wanted, {});
  outcome.result = "changed";
  outcome.block = after.block;
  return outcome;
}

}  // namespace

int RunApply(TWords words) {
  static constexpr TOptionSpec kOptions[] = {kJsonOption,
                                             kTraceOption,
                                             kTimeoutOption,
                                             kQuietOption,
                                             kHelpOption,
                                             kGapOption,
                                             {"stop-on-error", 0, false}};
  const TArguments arguments(words, kOptions);
  if (arguments.Has("help")) {
    std::cout << Tr(kApplyUsage);
    return 0;
  }
  if (arguments.Positional().size() != 1) throw EUsage(Tr("apply needs exactly one plan file"));
  const std::string file = arguments.Positional().front();
  TCommon common;
  common.gap = ReadGap(arguments);
  common.json = arguments.Has("json");
  common.trace = arguments.Has("trace");
  common.quiet = arguments.Has("quiet");
  if (arguments.Has("timeout")) {
    common.timeout = ReadMilliseconds(arguments, "timeout", std::chrono::milliseconds(0));
    if (common.timeout->count() == 0) throw EUsage(Tr("--timeout must be at least 1 ms"));
  }
  const bool stopOnError = arguments.Has("stop-on-error");

  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in) {
    throw EUsage(Format(Tr("cannot read the plan %s: %s"), file.c_str(), std::strerror(errno)));
  }
  const TPlan plan = ParsePlan(text.str());
  if (!plan.errors.empty()) {
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
    std::cerr << kProgramName << ": " << Tr("the plan has errors; nothing was sent") << '\n';
    return 2;
  }

  return RunReporting(common, [&] {
    TSession session(common);
    TJsonWriter json;
    json.BeginObject().Member("plan", file).Key("rows").BeginArray();
    unsigned changed = 0;
    unsigned unchanged = 0;
    unsigned failed = 0;
    bool portFailed = false;
    for (const TPlanRow& row : plan.rows) {
      TRowResult outcome;
      try {
        outcome = ApplyRow(session, row);
      } catch (const TDeviceFault& fault) {
        outcome.reason = fault.what();
        outcome.faultKind = FaultKindName(fault.Kind);
      } catch (const EComPort& failure) {
        outcome.reason = PortFailureText(row.port, failure, failure.SystemErrorCode);
        outcome.faultKind = "port";
        portFailed = true;
      }
      const std::string where = Format("%s:%d  %s %u @%u", file.c_str(), row.line, row.port.c_str(),
                                       unsigned{row.address}, unsigned{BaudTable[row.baudIndex]});
      json.BeginObject().Member("line", row.line).Member("port", row.port);
      json.Member("address", unsigned{row.address});
      json.Member("rate", unsigned{BaudTable[row.baudIndex]});
      json.Member("result", outcome.result);
      json.Key("writes").BeginArray();
      std::string writes;
      for (const TWrite& write : outcome.writes) {
        json.BeginObject().Member("field", write.field).Member("value", write.value).EndObject();
        writes += (writes.empty() ? "" : ", ") + WriteText(write);
      }
      json.EndArray();
      if (outcome.block) {
        json.Key("block");
        WriteBlockJson(json, *outcome.block);
      }
      if (outcome.faultKind) {
        json.Key("error").BeginObject().Member("kind", outcome.faultKind);
        json.Member("message", outcome.reason).EndObject();
      }
      json.EndObject();
      const std::string result = outcome.result;
      if (result == "unchanged") {
        ++unchanged;
        session.Say(Format(Tr("%s: unchanged"), where.c_str()));
      } else if (result == "changed") {
        ++changed;
        session.Say(Format(Tr("%s: changed (%s)"), where.c_str(), writes.c_str()));
      } else {
        ++failed;
        // A failure is reported even with -q.
        if (session.Options().quiet || session.Options().json) {
          std::cerr << Format(Tr("%s: failed: %s"), where.c_str(), outcome.reason.c_str()) << '\n';
        } else {
          session.Say(Format(Tr("%s: failed: %s"), where.c_str(), outcome.reason.c_str()));
        }
        if (stopOnError) break;
      }
    }
    const unsigned rows = static_cast<unsigned>(plan.rows.size());
    const unsigned skipped = rows - changed - unchanged - failed;
    json.EndArray().Key("summary").BeginObject();
    json.Member("rows", rows).Member("changed", changed).Member("unchanged", unchanged);
    json.Member("failed", failed).Member("not_tried", skipped).EndObject().EndObject();
    session.Emit(json.Text());
    session.Say(Format(Tr("%u rows: %u changed, %u unchanged, %u failed, %u not tried"), rows,
                       changed, unchanged, failed, skipped));
    if (portFailed) return 3;
    return failed + skipped == 0 ? 0 : 1;
  });
}
