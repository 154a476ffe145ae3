#include "bus/reply_framing.h"

#include <algorithm>

#include "protocol/frame.h"

namespace {

// The length of a reply with this function, from its first `count` bytes; 0 while the bytes
// that tell it have not come.
std::size_t ReplyLength(std::span<const std::uint8_t> bytes, std::size_t expectedLength) {
  const std::uint8_t function = bytes[1];
  if ((function & kExceptionBit) != 0) return 5;  // address, function, code, CRC
  switch (function) {
    case 1:  // reads and the slave id: address, function, byte count, data, CRC
    case 2:
    case 3:
    case 4:
    case 17:
      return bytes.size() < 3 ? 0 : 5u + bytes[2];
    case 5:  // writes: the 8-byte echo or confirmation
    case 6:
    case 15:
    case 16:
      return 8;
    default:
      return expectedLength;
  }
}

}  // namespace

TFrameVerdict JudgeReply(std::span<const std::uint8_t> bytes, std::uint8_t function,
                         std::size_t expectedLength) {
  if (bytes.size() < 2) return TFrameVerdict::kNeedsMore;
  if (bytes[1] != function && bytes[1] != (function | kExceptionBit))
    return TFrameVerdict::kCannotBe;
  const std::size_t length = ReplyLength(bytes, expectedLength);
  if (length == 0 || bytes.size() < length) return TFrameVerdict::kNeedsMore;
  return FrameCrcValid(bytes.data(), length) ? TFrameVerdict::kComplete : TFrameVerdict::kCannotBe;
}

TFrameVerdict JudgeEcho(std::span<const std::uint8_t> bytes,
                        std::span<const std::uint8_t> request) {
  const std::size_t compared = std::min(bytes.size(), request.size());
  if (!std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(compared),
                  request.begin()))
    return TFrameVerdict::kCannotBe;
  return bytes.size() >= request.size() ? TFrameVerdict::kComplete : TFrameVerdict::kNeedsMore;
}

std::chrono::milliseconds FrameGap(std::optional<std::chrono::milliseconds> given,
                                   std::optional<std::chrono::milliseconds> adapterLatency) {
  if (!adapterLatency) return given.value_or(kDefaultGap);
  return std::max(given.value_or(std::chrono::milliseconds(0)), *adapterLatency + kSilenceMargin);
}
