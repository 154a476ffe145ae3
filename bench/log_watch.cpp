#include "bench/log_watch.h"

#include <QEventLoop>
#include <QTimer>

#include "console/main_window.h"
#include "protocol/log_lines.h"

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

bool IsVerdict(const QString& line) {
  for (const char* verdict :
       {kLineOk, kLineError, kLineTimeOut, kLineCrcError, kLineBadId, kLineBadLength}) {
    if (line == QString::fromUtf8(verdict)) return true;
  }
  return false;
}

std::optional<TLineSeen> TimeUntilLine(TForm1& form, const std::function<void()>& action,
                                       const std::function<bool(const QString&)>& isEnd,
                                       std::chrono::milliseconds timeout) {
  QEventLoop loop;
  std::optional<TLineSeen> seen;
  Clock::time_point start;
  const QMetaObject::Connection watch =
      QObject::connect(form.TeMemo1, &QPlainTextEdit::textChanged, [&] {
        if (seen) return;
        const QStringList lines = form.TeMemo1->Lines();
        if (lines.isEmpty() || !isEnd(lines.back())) return;
        seen = TLineSeen{start, Clock::now() - start, lines.back()};
        // The loop ends once the handler that wrote the line has returned.
        loop.quit();
      });
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  limit.start(static_cast<int>(timeout.count()));
  start = Clock::now();
  action();
  if (!seen) loop.exec();
  QObject::disconnect(watch);
  return seen;
}

void RunEventLoopFor(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(time.count()), Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

bool RunEventLoopUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!ready()) {
    if (Clock::now() >= deadline) return false;
    RunEventLoopFor(std::chrono::milliseconds(1));
  }
  return true;
}
