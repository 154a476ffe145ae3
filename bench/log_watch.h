// Watching the traffic log of the real window while the event loop runs: how long from an
// operator's action to a given line. The time is taken when the log takes the line (its
// textChanged signal), not by polling, so it carries no sampling delay. Main thread only.
#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <optional>

class TForm1;

struct TLineSeen {
  std::chrono::steady_clock::time_point start;  // just before the action
  std::chrono::nanoseconds after;               // from start to the line
  QString line;
};

// True for the lines that end an exchange outside a search: "ОК.", "ОШИБКА.", "TIME OUT.",
// "CRC ERROR." and the two refusals of a parameter block.
bool IsVerdict(const QString& line);

// Runs action, then the event loop until the log's last line satisfies isEnd (and the handler
// that wrote it has returned), or until the timeout (nothing then).
std::optional<TLineSeen> TimeUntilLine(TForm1& form, const std::function<void()>& action,
                                       const std::function<bool(const QString&)>& isEnd,
                                       std::chrono::milliseconds timeout);

// Runs the event loop for this long.
void RunEventLoopFor(std::chrono::milliseconds time);

// Runs the event loop until ready() (looked at every millisecond) or the timeout; for getting
// ready between measurements, never inside one.
bool RunEventLoopUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout);
