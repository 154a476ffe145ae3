#include "sim/trace_format.h"

#include <cstdio>

namespace sim {

std::string HexLine(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

std::string FormatTrace(const TTraceEvent& event, Clock::time_point origin) {
  const double seconds = std::chrono::duration<double>(event.at - origin).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%11.6f] ", seconds);
  std::string line = stamp;
  using TKind = TTraceEvent::TKind;
  switch (event.kind) {
    case TKind::kRequest:
      line += "request " + HexLine(event.bytes) + " (" + std::to_string(event.rate) + " Bd)";
      break;
    case TKind::kReply:
      line += "reply   " + HexLine(event.bytes) + " (device " + std::to_string(event.address) +
              ", " + std::to_string(event.rate) + " Bd)";
      break;
    case TKind::kCollision:
      line += "lost    " + HexLine(event.bytes) + " (a device was transmitting)";
      break;
    case TKind::kHangUp:
      line += "hang-up (adapter pulled out)";
      break;
    case TKind::kPlugIn:
      line += "plug-in " + event.text;
      break;
    case TKind::kError:
      line += "error   " + event.text;
      break;
  }
  return line;
}

}  // namespace sim
