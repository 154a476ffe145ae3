// TTimer: a window timer that fires on the main thread, with the rules the protocol relies on:
// setting the interval or the enabled state to the value it already has changes nothing (a
// running countdown goes on); a real change of either on an enabled timer starts the countdown
// afresh; it fires again and again at its interval until disabled. An interval of 0 never fires.
//
// A plain QTimer restarts on every setInterval, even an equal one, and a coarse QTimer may fire
// up to 5 % early, so this wraps a precise one. OnTimer runs through RunGuarded. Main thread only.
#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>

#include "protocol/console_link.h"

class TTimer final : public TProtocolTimer {
 public:
  explicit TTimer(std::uint32_t intervalMs, bool enabled = false);

  void SetInterval(std::uint32_t ms) override;
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }

  // Whether a countdown is running (enabled with a non-zero interval).
  bool Running() const { return timer_.isActive(); }

  std::function<void()> OnTimer;

 private:
  void Restart();

  QTimer timer_;
  std::uint32_t interval_;
  bool enabled_;
};
