// Fault switches of one virtual device, for showing each failure path of a master. Plain data;
// TVirtualDevice::SetFaults applies a whole set at once, from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

enum class TGarbage : std::uint8_t {
  kBefore,   // random bytes, then the reply
  kInstead,  // random bytes and no reply
};

struct TFaults {
  // Hears the request (it is recorded) but neither acts on it nor answers.
  bool silent = false;
  // Flips every bit of the reply byte at this position (clamped to the last byte): a CRC error.
  std::optional<std::size_t> corruptByte{};
  // Answers with this exception code instead of acting on the request (0: off).
  std::uint8_t exceptionCode = 0;
  // Answers with these bytes and their CRC instead of acting on the request (empty: off): any
  // frame a device might send, such as a parameter block with a wrong byte count.
  std::vector<std::uint8_t> reply{};
  // Starts the reply this much later than the normal turnaround.
  std::chrono::milliseconds late{0};
  // Keeps the line silent for splitGap before each of these positions (counted over all bytes
  // sent for the request, garbage included).
  std::vector<std::size_t> splitBefore{};
  std::chrono::milliseconds splitGap{0};
  // Sent right after the reply, with no pause.
  std::vector<std::uint8_t> extraBytes{};
  // This many random bytes before or instead of the reply (0: off).
  std::size_t garbageBytes = 0;
  TGarbage garbage = TGarbage::kBefore;
  // Pulls the adapter out (closes the pseudo-terminal) instead of answering.
  bool hangUp = false;
  // Sends this many bytes of the reply, then pulls the adapter out 30 ms after the last of them
  // has gone out: a reply cut off by the adapter going away, timed by the line itself.
  std::optional<std::size_t> hangUpAfter{};
  // Acts on the request but its reply is lost on the line (noise): a new address or rate is taken
  // all the same, as if the echo had gone out.
  bool loseReply = false;
  // 0: the switches hold until changed; n > 0: they apply to the next n requests addressed to the
  // device (with a valid CRC), then all clear themselves.
  unsigned count = 0;
};

}  // namespace sim
