#include "serial/modem_watch_linux.h"

#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>

#include "system/event_fd_linux.h"

namespace {

// The signal that interrupts the helper's ioctl. Its handler does nothing; it is installed
// without SA_RESTART so that the ioctl returns EINTR instead of resuming.
int InterruptSignal() {
  return SIGRTMIN + 3;
}

void NoOp(int) {}

void InstallInterruptHandler() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_handler = NoOp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(InterruptSignal(), &action, nullptr);
    return true;
  }();
  (void)installed;
}

}  // namespace

TModemWatch::TModemWatch(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {
  InstallInterruptHandler();
  thread_ = std::thread([this] { Run(); });
}

TModemWatch::~TModemWatch() {
  stop_.store(true);
  // A signal that lands after the helper has checked stop_ but before it enters the ioctl is
  // lost, so it is sent again until the helper reports its end; normally the first one does.
  std::unique_lock lock(mutex_);
  while (!finished_) {
    pthread_kill(thread_.native_handle(), InterruptSignal());
    ended_.wait_for(lock, std::chrono::milliseconds(20), [this] { return finished_; });
  }
  lock.unlock();
  thread_.join();
}

void TModemWatch::Run() {
  const int lines = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;
  while (!stop_.load()) {
    if (ioctl(fd_, TIOCMIWAIT, lines) < 0) {
      if (errno == EINTR) continue;
      break;  // not supported by the driver, or the port has gone: no line events
    }
    RaiseEventFd(wakeFd_);
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  ended_.notify_all();
}
