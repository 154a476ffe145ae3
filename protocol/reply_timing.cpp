#include "protocol/reply_timing.h"

std::uint32_t ReadReplyTimeoutMs(std::uint8_t baudIndex) {
  switch (baudIndex) {
    case 0:
      return 3000;
    case 1:
      return 1500;
    case 2:
      return 700;
    default:
      return 350;
  }
}
