// Reads the slave's rate with TCGETS2 from the kernel's <asm/termbits.h>, which clashes with
// glibc's <termios.h>; so this file includes no glibc header that pulls that one in.
#include "tests/support/pty_pair.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

TPtyPair::TPtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  char name[128];
  if (grantpt(master_) < 0 || unlockpt(master_) < 0 || ptsname_r(master_, name, sizeof name) != 0) {
    const int error = errno;
    close(master_);
    errno = error;
    Fail("pty slave");
  }
  slavePath_ = name;
}

TPtyPair::~TPtyPair() {
  CloseMaster();
}

void TPtyPair::Send(const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("write to pty master");
    done += static_cast<std::size_t>(n);
  }
}

std::vector<std::uint8_t> TPtyPair::Receive(std::size_t count, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  std::vector<std::uint8_t> got;
  while (got.size() < count) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd fd{master_, POLLIN, 0};
    const int r = poll(&fd, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    std::uint8_t buffer[256];
    const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;  // the slave is closed
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

std::uint32_t TPtyPair::SlaveRate() const {
  // On a master, the termios ioctls act on the slave's settings.
  struct termios2 t {};
  if (ioctl(master_, TCGETS2, &t) < 0) Fail("TCGETS2");
  return t.c_ospeed;
}

void TPtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}
