#include "bus/line_frames.h"

#include <algorithm>
#include <array>

#include "protocol/frame.h"

namespace {

// The longest frame Modbus RTU has (a master's buffer of 256 bytes).
constexpr std::size_t kLongestFrame = 256;

std::chrono::microseconds CharTimeAt(std::uint32_t rate) {
  // 10 bits a character (start, 8 data, stop), rounded up to a whole microsecond.
  return std::chrono::microseconds((10'000'000 + rate - 1) / rate);
}

bool CompleteFrameAt(const std::uint8_t* bytes, std::size_t count) {
  for (const std::size_t length : FrameLengths(bytes, count))
    if (length >= 4 && length <= count && FrameCrcValid(bytes, length)) return true;
  return false;
}

// True when a whole frame of a known function begins somewhere after the first byte: what
// stands before it is garbage, whatever comes later.
bool FrameFollows(const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t start = 1; start + 4 <= count; ++start)
    if (CompleteFrameAt(bytes + start, count - start)) return true;
  return false;
}

}  // namespace

std::vector<std::size_t> FrameLengths(const std::uint8_t* bytes, std::size_t count) {
  if (count < 2) return {2};
  const std::uint8_t function = bytes[1];
  std::vector<std::size_t> lengths;
  if ((function & 0x80) != 0) return {5};  // an exception reply
  switch (function) {
    case 1:  // reads: the request is 8 bytes, the reply 5 + its byte count
    case 2:
    case 3:
    case 4:
      if (count < 3) return {3};
      lengths = {8, 5u + bytes[2]};
      break;
    case 5:  // single writes: the request and its echo are 8 bytes
    case 6:
      return {8};
    case 15:  // multiple writes: the request 9 + its byte count, the reply 8
    case 16:
      if (count < 7) return {7};
      lengths = {8, 9u + bytes[6]};
      break;
    case 17:  // report the slave id: the request 4 bytes, the reply 5 + its byte count
      if (count < 3) return {3};
      lengths = {4, 5u + bytes[2]};
      break;
    default:
      return {};
  }
  std::sort(lengths.begin(), lengths.end());
  lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
  return lengths;
}

TFrameFinder::TFrameFinder(std::uint32_t rate, std::chrono::microseconds cutSilence,
                           std::chrono::microseconds tolerance, std::chrono::microseconds handOver)
    : charTime_(CharTimeAt(rate)),
      silence_(charTime_ * 7 / 2),
      cut_(cutSilence),
      tolerance_(tolerance),
      handOver_(handOver) {}

std::vector<TLineFrame> TFrameFinder::Feed(const std::uint8_t* bytes, std::size_t count,
                                           Clock::time_point at) {
  // The first read has no read before it: its bytes may have waited any time.
  // An adapter that holds bytes hands over, at this read, some that crossed the line before the
  // read before returned.
  const Clock::time_point after = anyRead_ ? lastRead_ - handOver_ : at - std::chrono::hours(1);
  for (std::size_t i = 0; i < count; ++i) {
    // It came after the read before, and a character after the byte before it; and not after
    // its own read (bytes handed over in a burst come closer than a character).
    Clock::time_point earliest = after;
    if (lastEarliest_) earliest = std::max(earliest, *lastEarliest_ + charTime_);
    earliest = std::min(earliest, at);
    lastEarliest_ = earliest;
    held_.push_back({bytes[i], at, earliest});
  }
  lastRead_ = at;
  anyRead_ = true;
  std::vector<TLineFrame> out;
  Extract(out, false);
  return out;
}

std::vector<TLineFrame> TFrameFinder::Idle(Clock::time_point now) {
  std::vector<TLineFrame> out;
  if (const auto cut = CutAt(); cut && now >= *cut) {
    Extract(out, true);
    EmitGarbage(out);
  }
  return out;
}

std::size_t TFrameFinder::BytesStillDue() const {
  if (held_.empty() || !garbage_.empty()) return 0;
  std::array<std::uint8_t, 8> head{};
  const std::size_t count = std::min(held_.size(), head.size());
  for (std::size_t i = 0; i < count; ++i)
    head[i] = held_[i].value;
  for (const std::size_t length : FrameLengths(head.data(), count))
    if (length > held_.size()) return length - held_.size();
  return 0;
}

std::optional<TFrameFinder::Clock::time_point> TFrameFinder::CutAt() const {
  if (held_.empty() && garbage_.empty()) return std::nullopt;
  // A frame that its function says is still short may be under way in pieces: its bytes still
  // due have their line time beyond the silence.
  return lastRead_ + cut_ + charTime_ * static_cast<std::int64_t>(BytesStillDue());
}

void TFrameFinder::Extract(std::vector<TLineFrame>& out, bool silent) {
  std::array<std::uint8_t, kLongestFrame> window{};
  while (!held_.empty()) {
    const std::size_t count = std::min(held_.size(), window.size());
    for (std::size_t i = 0; i < count; ++i)
      window[i] = held_[i].value;
    const std::vector<std::size_t> lengths = FrameLengths(window.data(), count);
    bool waitForMore = false;
    bool found = false;
    for (const std::size_t length : lengths) {
      if (length > count) {
        waitForMore = length <= kLongestFrame;
        break;
      }
      if (length >= 4 && FrameCrcValid(window.data(), length)) {
        EmitGarbage(out);
        Emit(out, length, true);
        found = true;
        break;
      }
    }
    if (found) continue;
    if (lengths.empty() && silent && count >= 4 && FrameCrcValid(window.data(), count)) {
      // A function this program does not know, whole by its CRC once the line fell silent.
      EmitGarbage(out);
      Emit(out, count, true);
      continue;
    }
    // A frame of an unknown function, or one that is still short: wait for more or the silence,
    // unless a whole frame already follows it.
    if (!silent && count < kLongestFrame && (waitForMore || lengths.empty()) &&
        !FrameFollows(window.data(), count))
      return;
    // The first byte begins no frame.
    garbage_.push_back(held_.front());
    held_.pop_front();
  }
}

void TFrameFinder::Emit(std::vector<TLineFrame>& out, std::size_t length, bool crcOk) {
  TLineFrame frame;
  frame.crcOk = crcOk;
  frame.firstAt = held_.front().readAt;
  frame.lastAt = held_[length - 1].readAt;
  if (lastEmitted_) {
    // The longest the silence can have been: this frame's first byte crossed the line a
    // character before the next, and so on, by each one's read; the frame before ended at the
    // earliest its last byte can have crossed.
    Clock::time_point latestStart = held_.front().readAt;
    for (std::size_t i = 1; i < length; ++i)
      latestStart =
          std::min(latestStart, held_[i].readAt - charTime_ * static_cast<std::int64_t>(i));
    const auto longest = latestStart - lastEmitted_->earliest - charTime_;
    if (longest < silence_ - tolerance_)
      frame.tooCloseMs = std::max(0.0, std::chrono::duration<double, std::milli>(longest).count());
  }
  for (std::size_t i = 0; i < length; ++i)
    frame.bytes.push_back(held_[i].value);
  lastEmitted_ = held_[length - 1];
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(length));
  out.push_back(std::move(frame));
}

void TFrameFinder::EmitGarbage(std::vector<TLineFrame>& out) {
  if (garbage_.empty()) return;
  TLineFrame frame;
  frame.firstAt = garbage_.front().readAt;
  frame.lastAt = garbage_.back().readAt;
  for (const TByte& b : garbage_)
    frame.bytes.push_back(b.value);
  lastEmitted_ = garbage_.back();
  garbage_.clear();
  out.push_back(std::move(frame));
}
