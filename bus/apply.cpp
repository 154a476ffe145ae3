#include "bus/apply.h"

#include "serial/com_exception.h"

namespace {

// Reads the device where the row says it is; when it does not answer there and the row moves it,
// where it would be once moved (the plan applied before).
TBlockReading FindDevice(TLines& lines, const TPlanRow& row, TTarget& target) {
  try {
    return ReadParameterBlock(lines.Line(row.port, target.baudIndex), target);
  } catch (const TDeviceFault& fault) {
    if (fault.Kind != TFaultKind::NoAnswer || !row.wanted.Moves()) throw;
    const TTarget moved = row.wanted.Moved(target);
    try {
      TBlockReading reading = ReadParameterBlock(lines.Line(row.port, moved.baudIndex), moved);
      target = moved;
      return reading;
    } catch (const TDeviceFault&) {
      throw fault;  // the first fault names where the plan said the device is
    }
  }
}

void BringRow(TLines& lines, const TPlanRow& row, std::optional<std::chrono::milliseconds> timeout,
              TRowResult& outcome) {
  TTarget target{row.address, row.baudIndex, timeout, {}};
  const TBlockReading current = FindDevice(lines, row, target);
  outcome.writes = PlanWrites(row.wanted, &current.block);
  if (outcome.writes.empty()) {
    outcome.end = TRowEnd::Unchanged;
    outcome.block = current.block;
    return;
  }
  const TBlockReading after =
      CarryOut(lines.Line(row.port, target.baudIndex), target, outcome.writes, row.wanted, {},
               [&](const std::string& warning) { outcome.warnings.push_back(warning); });
  outcome.end = TRowEnd::Changed;
  outcome.block = after.block;
}

}  // namespace

TRowResult ApplyRow(TLines& lines, const TPlanRow& row,
                    std::optional<std::chrono::milliseconds> timeout) {
  TRowResult outcome;
  try {
    BringRow(lines, row, timeout, outcome);
  } catch (const TDeviceFault& fault) {
    outcome.end = TRowEnd::Failed;
    outcome.fault = fault;
  } catch (const EComPort&) {
    outcome.end = TRowEnd::Failed;
    outcome.portFailure = std::current_exception();
  }
  return outcome;
}

TApplyTally Apply(TLines& lines, const std::vector<TPlanRow>& rows, const TApplyPlan& plan,
                  TApplyObserver& observer, std::stop_token stop) {
  TApplyTally tally;
  for (const TPlanRow& row : rows) {
    if (stop.stop_requested()) break;
    const TRowResult outcome = ApplyRow(lines, row, plan.timeout);
    if (outcome.portFailure) tally.portFailed = true;
    switch (outcome.end) {
      case TRowEnd::Changed:
        ++tally.changed;
        break;
      case TRowEnd::Unchanged:
        ++tally.unchanged;
        break;
      case TRowEnd::Failed:
        ++tally.failed;
        break;
    }
    observer.RowEnded(row, outcome);
    if (outcome.end == TRowEnd::Failed && plan.stopOnError) break;
  }
  return tally;
}
