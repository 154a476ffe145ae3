// This file talks to the kernel's termios2 interface directly. <asm/termbits.h> redefines struct
// termios and the tc* constants that glibc's <termios.h> also defines, so the two headers cannot
// meet in one translation unit; nothing else may be included here that pulls in <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "sim/peer_line.h"

namespace sim {
namespace {

// Rates of the classic Bxxx codes, for kernels that leave c_ospeed empty.
std::uint32_t RateOfCode(tcflag_t code) {
  switch (code) {
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    default:
      return 0;
  }
}

int Ioctl(int fd, unsigned long request, termios2* settings) {
  int result;
  do {
    result = ioctl(fd, request, settings);
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace

TPeerLine ReadPeerLine(int masterFd) {
  termios2 settings{};
  if (Ioctl(masterFd, TCGETS2, &settings) != 0) return {};
  TPeerLine line;
  line.known = true;
  const tcflag_t code = settings.c_cflag & CBAUD;
  line.rate = settings.c_ospeed != 0 ? settings.c_ospeed : RateOfCode(code);
  return line;
}

bool SetRawLine(int fd, std::uint32_t rate) {
  termios2 settings{};
  if (Ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_iflag = 0;
  settings.c_oflag = 0;
  settings.c_lflag = 0;
  settings.c_cflag = CS8 | CREAD | CLOCAL | BOTHER;
  settings.c_ispeed = rate;
  settings.c_ospeed = rate;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  return Ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace sim
