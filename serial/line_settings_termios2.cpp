// This file talks to the kernel's termios2 interface directly. The kernel header that declares
// struct termios2 (<asm/termbits.h>) defines its own struct termios and flag macros that clash
// with glibc's <termios.h>, so the two cannot meet in one translation unit: this file includes
// only the kernel's, and nothing here may include <termios.h>.
#include "serial/line_settings_termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>

// glibc's <sys/ioctl.h> pulls in <termios.h> pieces; declare ioctl ourselves instead.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace {

tcflag_t DataBitsFlag(int dataBits) {
  switch (dataBits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

tcflag_t ParityFlags(TParityBits parity) {
  switch (parity) {
    case prOdd:
      return PARENB | PARODD;
    case prEven:
      return PARENB;
    case prMark:
      return PARENB | CMSPAR | PARODD;
    case prSpace:
      return PARENB | CMSPAR;
    case prNone:
      break;
  }
  return 0;
}

}  // namespace

int ApplyLineSettingsTermios2(int fd, const TLineSettings& s) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) < 0) return errno;

  // Raw: no input translation, no output processing, no line discipline echo or signals.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);

  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL |
                                      CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
  t.c_cflag |= DataBitsFlag(s.dataBits) | ParityFlags(s.parity);
  if (s.stopBits != sbOneStopBit) t.c_cflag |= CSTOPB;
  // The kernel's CRTSCTS covers both directions: CTS gates output, RTS follows the input queue.
  if (s.outCTSFlow || s.controlRTS == rtsHandshake) t.c_cflag |= CRTSCTS;

  // With parity checking and replacement, bytes with parity or framing errors arrive as NUL;
  // with checking alone they arrive as received and only the error counters record them.
  if (s.parityCheck && s.parityReplace) t.c_iflag |= INPCK;
  if (s.xonXoffOut) t.c_iflag |= IXON;
  if (s.xonXoffIn) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  t.c_ispeed = s.rate;
  t.c_ospeed = s.rate;
  if (ioctl(fd, TCSETS2, &t) < 0) return errno;
  return 0;
}
