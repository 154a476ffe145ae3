#include "console/ttimer.h"

#include <algorithm>
#include <climits>

#include "console/application.h"

TTimer::TTimer(std::uint32_t intervalMs, bool enabled) : interval_(intervalMs), enabled_(enabled) {
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    // The handler runs from a copy: it may take the timer's window apart, and this timer with it.
    const std::function<void()> handler = OnTimer;
    if (handler) RunGuarded(handler);
  });
  Restart();
}

void TTimer::SetInterval(std::uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  if (enabled_) Restart();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Restart();
}

void TTimer::Restart() {
  if (enabled_ && interval_ > 0) {
    timer_.start(static_cast<int>(std::min<std::uint32_t>(interval_, INT_MAX)));
  } else {
    timer_.stop();
  }
}
