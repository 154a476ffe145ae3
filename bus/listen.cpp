#include "bus/listen.h"

#include <algorithm>
#include <array>

#include "bus/reply_framing.h"
#include "bus/watch.h"
#include "protocol/baud_rates.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the listener cannot tell apart: its own wake-ups and the adapter's hand-over.
constexpr std::chrono::microseconds kTolerance{2000};
// The longest the listener sleeps without looking at the stop token and the clock.
constexpr std::chrono::milliseconds kLongestWait{100};
// The longest it sleeps through a frame under way.
constexpr std::chrono::microseconds kLongestNap{20000};

// Beyond the 3.5 characters of the rate, the silence that ends a frame (FrameGap): a USB
// adapter hands the bytes over at the ticks of its latency timer, and a busy machine late.
// Frames end by their function, length and CRC, so this only delays the verdict on bytes that
// form no frame. A given gap under the adapter's latency is raised to it.
std::chrono::microseconds CutSilence(const TListenPlan& plan, std::uint32_t rate,
                                     std::optional<std::chrono::milliseconds> latency) {
  if (plan.gap) return FrameGap(plan.gap, latency);
  return std::chrono::microseconds((35'000'000 + rate - 1) / rate) +
         FrameGap(std::nullopt, latency);
}

}  // namespace

TListen::TListen(TDeviceLine& line, const TListenPlan& plan, TListenObserver& observer)
    : line_(line),
      plan_(plan),
      observer_(observer),
      finder_(BaudTable[line.Rate()],
              CutSilence(plan, BaudTable[line.Rate()], line.AdapterLatency()), kTolerance,
              line.AdapterLatency().value_or(kAssumedAdapterLatency)),
      decoder_(line.Rate()),
      started_(Clock::now()) {}

void TListen::Run(const std::stop_token& stop) {
  std::array<std::uint8_t, 4096> buffer{};
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (stop.stop_requested()) break;
    if (plan_.duration && now >= started_ + *plan_.duration) break;
    if (plan_.count != 0 && frames_ >= plan_.count && !decoder_.Waiting()) break;
    Clock::time_point until = now + kLongestWait;
    if (const auto cut = finder_.CutAt()) until = std::min(until, *cut);
    if (const auto timeout = decoder_.NextTimeout()) until = std::min(until, *timeout);
    if (plan_.duration) until = std::min(until, started_ + *plan_.duration);
    const auto wait = std::max(std::chrono::milliseconds(1),
                               std::chrono::ceil<std::chrono::milliseconds>(until - now));
    const int count = line_.Listen(buffer.data(), static_cast<int>(buffer.size()), wait);
    const Clock::time_point at = Clock::now();
    const std::vector<TLineFrame> frames =
        count > 0 ? finder_.Feed(buffer.data(), static_cast<std::size_t>(count), at)
                  : finder_.Idle(at);
    for (const TLineFrame& frame : frames)
      Take(frame);
    for (const TLineEvent& event : decoder_.Idle(at))
      observer_.Event(event);
    // A frame that has begun and whose length is known needs its line time: sleep through
    // most of it instead of waking for every byte (the bytes wait in the driver meanwhile).
    if (const std::size_t due = finder_.BytesStillDue(); due >= 4) {
      PauseUnlessStopped(
          stop,
          std::chrono::duration_cast<std::chrono::milliseconds>(std::min<std::chrono::microseconds>(
              finder_.CharTime() * static_cast<long>(due - 2), kLongestNap)));
    }
  }
  // What is held when the listening ends is cut as the silence would cut it.
  for (const TLineFrame& frame : finder_.Idle(Clock::now() + std::chrono::hours(1)))
    Take(frame);
  decoder_.Finish();
}

void TListen::Take(const TLineFrame& frame) {
  ++frames_;
  for (const TLineEvent& event : decoder_.Take(frame))
    observer_.Event(event);
}
