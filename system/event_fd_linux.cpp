#include "system/event_fd_linux.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

int NewEventFd() {
  return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

int RaiseEventFd(int fd) {
  const std::uint64_t one = 1;
  while (write(fd, &one, sizeof one) < 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

void DrainEventFd(int fd) {
  std::uint64_t value;
  while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}
