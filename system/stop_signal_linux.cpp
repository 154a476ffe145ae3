#include <unistd.h>
#include "system/event_fd_linux.h"

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "system/stop_signal.h"

TStopSignal::TStopSignal() : native_(NewEventFd()) {
  if (native_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TStopSignal::~TStopSignal() {
  close(static_cast<int>(native_));
}

void TStopSignal::Raise() {
  // An eventfd write only fails when its counter would overflow, which a stop flag cannot reach.
  RaiseEventFd(static_cast<int>(native_));
}
