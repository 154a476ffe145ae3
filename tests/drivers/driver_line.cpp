// The kernel's termios2 and glibc's <termios.h> cannot meet in one translation unit: this file
// includes only the kernel's.
#include "tests/drivers/driver_line.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

class TRawDescriptor {
 public:
  explicit TRawDescriptor(const std::string& node)
      : fd_(open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~TRawDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  TRawDescriptor(const TRawDescriptor&) = delete;
  TRawDescriptor& operator=(const TRawDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

unsigned DriverRate(const std::string& node) {
  TRawDescriptor fd(node);
  termios2 settings{};
  if (fd.Get() < 0 || ioctl(fd.Get(), TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

bool ClearLowLatency(const std::string& node) {
  TRawDescriptor fd(node);
  serial_struct serial{};
  if (fd.Get() < 0 || ioctl(fd.Get(), TIOCGSERIAL, &serial) != 0) return false;
  serial.flags &= ~static_cast<int>(ASYNC_LOW_LATENCY);
  return ioctl(fd.Get(), TIOCSSERIAL, &serial) == 0;
}
