// How long a master waits for a reply, and the lengths it waits for. The window's exchange engine
// and the command-line tool take these from here.
#pragma once

#include <cstdint>

// A write is answered by its 8-byte echo; a read of n registers by 2n + 5 bytes; a refusal by a
// 5-byte exception reply.
inline constexpr int kWriteEchoLength = 8;
inline constexpr int kExceptionReplyLength = 5;
inline constexpr int ReadReplyLength(int registers) {
  return 2 * registers + 5;
}

// The reply time-out after a write, whatever the rate.
inline constexpr std::uint32_t kWriteReplyTimeoutMs = 350;

// The reply time-out after a read, by the BaudTable index of the device's rate:
// 3000 ms at 1200 Bd, 1500 at 2400, 700 at 4800, 350 at 9600 and above.
std::uint32_t ReadReplyTimeoutMs(std::uint8_t baudIndex);

// A reply is taken up this long after its last byte has been read.
inline constexpr std::uint32_t kTakeUpDelayMs = 5;

// The reply window of one search probe when nobody chose another.
inline constexpr std::uint16_t kDefaultSearchDelayMs = 150;
