// Listening to a live line that another master drives: the bytes cut into frames (by function,
// length and CRC, a silence only for what forms no frame), the frames decoded and requests paired
// with their replies (bus/line_decoder.h), until a count of frames, a duration or a stop. Nothing
// is ever sent.
//
// Threads: Run works on the caller's thread and calls the observer on it; the stop token may be
// requested from any thread, and is looked at within 100 ms. A failure of the port (EComPort)
// leaves Run.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>

#include "bus/device_line.h"
#include "bus/line_decoder.h"
#include "bus/line_frames.h"

struct TListenPlan {
  unsigned count = 0;  // 0: no limit; else the frames, and the reply to the last request
  std::optional<std::chrono::milliseconds> duration;
  std::optional<std::chrono::milliseconds> gap;  // the operator's silence, if given
};

class TListenObserver {
 public:
  virtual ~TListenObserver() = default;
  virtual void Event(const TLineEvent& /*event*/) {}
};

class TListen {
 public:
  using Clock = std::chrono::steady_clock;

  TListen(TDeviceLine& line, const TListenPlan& plan, TListenObserver& observer);

  void Run(const std::stop_token& stop);

  const TLineTally& Tally() const { return decoder_.Tally(); }
  // The silence that ends a frame on this line (for the "too close" texts).
  std::chrono::microseconds FrameSilence() const { return finder_.FrameSilence(); }
  Clock::time_point Started() const { return started_; }

 private:
  void Take(const TLineFrame& frame);

  TDeviceLine& line_;
  const TListenPlan plan_;
  TListenObserver& observer_;
  TFrameFinder finder_;
  TLineDecoder decoder_;
  const Clock::time_point started_;
  unsigned frames_ = 0;
};
