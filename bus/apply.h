// A plan carried out row by row: each row's device found (where the row says, or where the row
// would have moved it: a plan applied before), the settings that differ written and read back,
// and the row's end told to the observer as it comes.
//
// Threads: Apply works on the caller's thread and calls the observer on it; the stop token may
// be requested from any thread, and no row begins after it. The failure of a port is a row's
// result (the rows of other ports go on), not an exception.
#pragma once

#include <chrono>
#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "bus/lines.h"
#include "bus/plan.h"
#include "bus/settings_writer.h"

enum class TRowEnd { Failed, Unchanged, Changed };

struct TRowResult {
  TRowEnd end = TRowEnd::Failed;
  std::vector<TWrite> writes;
  std::vector<std::string> warnings;  // an echo lost on the way, for one
  std::optional<TParameterBlock> block;
  std::optional<TDeviceFault> fault;  // the device's, when it failed
  std::exception_ptr portFailure;     // an EComPort, when the port failed
};

class TApplyObserver {
 public:
  virtual ~TApplyObserver() = default;
  virtual void RowEnded(const TPlanRow& /*row*/, const TRowResult& /*result*/) {}
};

struct TApplyTally {
  unsigned changed = 0;
  unsigned unchanged = 0;
  unsigned failed = 0;
  bool portFailed = false;
};

struct TApplyPlan {
  std::optional<std::chrono::milliseconds> timeout;  // each reply's wait; else by rate
  bool stopOnError = false;                          // no row after the first that fails
};

TApplyTally Apply(TLines& lines, const std::vector<TPlanRow>& rows, const TApplyPlan& plan,
                  TApplyObserver& observer, std::stop_token stop);

// One row, its failure (of the device or of the port) kept as its result.
TRowResult ApplyRow(TLines& lines, const TPlanRow& row,
                    std::optional<std::chrono::milliseconds> timeout);
