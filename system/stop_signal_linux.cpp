#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "system/stop_signal.h"

TStopSignal::TStopSignal() : native_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (native_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TStopSignal::~TStopSignal() {
  close(static_cast<int>(native_));
}

void TStopSignal::Raise() {
  const std::uint64_t one = 1;
  // An eventfd write only fails when its counter would overflow, which a stop flag cannot reach.
  while (write(static_cast<int>(native_), &one, sizeof one) < 0 && errno == EINTR) {
  }
}
