#include "sim/transmission.h"

#include <algorithm>

namespace sim {

std::vector<std::uint8_t> ApplyContentFaults(std::vector<std::uint8_t> reply, const TFaults& faults,
                                             std::mt19937& random) {
  if (faults.corruptByte && !reply.empty())
    reply[std::min(*faults.corruptByte, reply.size() - 1)] ^= 0xFFU;
  std::vector<std::uint8_t> wire;
  if (faults.garbageBytes > 0) {
    std::uniform_int_distribution<unsigned> byte(0, 255);
    wire.reserve(faults.garbageBytes + reply.size() + faults.extraBytes.size());
    for (std::size_t i = 0; i < faults.garbageBytes; ++i)
      wire.push_back(static_cast<std::uint8_t>(byte(random)));
    if (faults.garbage == TGarbage::kInstead) reply.clear();
  }
  wire.insert(wire.end(), reply.begin(), reply.end());
  wire.insert(wire.end(), faults.extraBytes.begin(), faults.extraBytes.end());
  return wire;
}

TTransmission Pace(std::span<const std::uint8_t> wire, Clock::time_point start,
                   std::chrono::nanoseconds charTime, std::span<const std::size_t> gapBefore,
                   std::chrono::nanoseconds gap) {
  TTransmission out;
  out.bytes.reserve(wire.size());
  out.start = start;
  Clock::time_point at = start;
  for (std::size_t k = 0; k < wire.size(); ++k) {
    at += gap * std::count(gapBefore.begin(), gapBefore.end(), k);
    at += charTime;
    out.bytes.push_back({at, wire[k]});
  }
  out.end = at;
  return out;
}

}  // namespace sim
