// The line settings that the master program set on its side of the pseudo-terminal, read through
// the master descriptor, and the raw mode a fresh line starts in. Any thread; never blocks.
#pragma once

#include <cstdint>

namespace sim {

// Only the rate: the pty driver forces 8 data bits without parity on every termios it is given,
// so a master's frame format cannot be seen (and cannot be wrong) on a pseudo-terminal.
struct TPeerLine {
  bool known = false;      // false when the settings could not be read
  std::uint32_t rate = 0;  // output rate of the master program, bits per second (0: hung up, B0)
};

// TCGETS2 on a pseudo-terminal master returns the termios of its slave, custom (BOTHER) rates
// included.
TPeerLine ReadPeerLine(int masterFd);

// Raw 8N1 at rate with the receiver on and modem lines ignored, as a fresh adapter line; so that a
// master that forgets a setting does not get echo or line editing. Returns false on failure.
bool SetRawLine(int fd, std::uint32_t rate);

}  // namespace sim
