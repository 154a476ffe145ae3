// The Linux side of a serial port: a tty opened non-blocking, every wait a poll() that also
// watches an abort eventfd, deadlines from the monotonic clock, EINTR retried everywhere.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "serial/device_layer.h"
#include "serial/line_settings_termios2.h"
#include "serial/modem_watch_linux.h"
#include "serial/read_timeouts.h"
#include "serial/serial_device.h"
#include "system/event_fd_linux.h"
#include "system/poll_until_linux.h"
#include "system/stop_signal.h"

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

// Pseudo-terminals and some adapters have no modem lines; their ioctls answer one of these.
bool NoModemLines(int error) {
  return error == ENOTTY || error == EINVAL;
}

int Ioctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = ioctl(fd, request, arg);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? errno : 0;
}

constexpr int kTimedOut = -1;

// Waits until the port is ready for `events` (POLLIN or POLLOUT), an abort is raised or the
// deadline passes. Returns 0 when ready, kTimedOut at the deadline, else the errno that ends the
// transfer: ECANCELED for an abort, EIO for a port that has gone.
int WaitForPort(int fd, int abortFd, short events, const Deadline& deadline) {
  pollfd fds[2] = {{fd, events, 0}, {abortFd, POLLIN, 0}};
  const int r = PollUntil(fds, 2, deadline);
  if (r < 0) return errno;
  if (r == 0) return kTimedOut;
  if (fds[1].revents & POLLIN) return ECANCELED;
  if (fds[0].revents & POLLNVAL) return EBADF;
  if ((fds[0].revents & (POLLERR | POLLHUP)) && !(fds[0].revents & events)) return EIO;
  return 0;
}

Deadline After(std::uint64_t ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}

// Owns a descriptor until released; closes it on every failed step of opening.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace

namespace {

// The driver's line counters (TIOCGICOUNT); `valid` is false where the driver has none.
struct ErrorCounters {
  bool valid = false;
  serial_icounter_struct c{};
};

// State of the monitor side, touched only by the monitor thread (and by Begin/EndMonitoring
// while no monitor runs).
struct MonitorState {
  TComEvents mask;
  ErrorCounters eventBase;  // counters at the previous wake-up
  int modemBits = 0;        // TIOCMGET at the previous wake-up, when there are no counters
  bool rxReported = false;  // the last set held evRxChar...
  std::uint64_t bytesReadAtReport = 0;  // ...when ReadPort had taken this many bytes in all
  int txWaitMs = 1;
  int lastOutQueue = -1;
  std::unique_ptr<TModemWatch> modemWatch;
};

bool ReadCounters(int fd, serial_icounter_struct& c) {
  return Ioctl(fd, TIOCGICOUNT, &c) == 0;
}

}  // namespace

struct TOsDevice::Platform {
  // A copy of the time-outs taken under the lock, for one transfer.
  TTimeoutSettings CurrentTimeouts() {
    std::lock_guard lock(mutex_);
    return timeouts_;
  }

  int fd_ = -1;
  // The driver's RS-485 settings before this program turned the mode on (rtsToggle), put back
  // when the mode is no longer wanted and at the close.
  std::optional<serial_rs485> rs485Before_;
  int abortFd_ = -1;  // eventfd raised by AbortTransfers, in the poll set of every transfer
  int kickFd_ = -1;   // eventfd that wakes the monitor (written, read resumed, modem change)
  bool hasModemLines_ = false;

  std::mutex mutex_;  // guards the settings and counters below, shared by the two threads
  TTimeoutSettings timeouts_;
  TLineSettings line_;
  int inputSize_ = 1024;
  int outputSize_ = 1024;
  ErrorCounters errorBase_;  // line-error counters at the last error query

  std::atomic<bool> aborted_{false};  // AbortTransfers was called in this opening
  std::atomic<bool> txEmptyWanted_{false};
  std::atomic<bool> txPending_{false};
  std::atomic<bool> rxStalled_{false};
  std::atomic<std::uint64_t> bytesRead_{0};
  std::unique_ptr<MonitorState> monitor_;  // monitor-thread state

  // The steps of the monitor's wait, on the monitor thread.
  void PauseInputWhileUnread(MonitorState& m);
  // One poll() on the stop signal, the port and the kick: Events when the port or the kick
  // woke it (or the transmit wait passed), with the port's revents in port; Stopped; Failed.
  TWaitOutcome Sleep(MonitorState& m, int stopFd, short& port, int& error);
  // Data waiting and the hang-up, from the port's revents; false with error on a failure.
  bool InputEvents(short port, TComEvents& found, int& error);
  // Line errors, breaks and modem-line changes since the last look.
  TComEvents LineEvents(MonitorState& m);
  // The transmit queue found empty; else the time of the next look at it.
  TComEvents TransmitEvents(MonitorState& m);
};

void TOsDevice::Platform::PauseInputWhileUnread(MonitorState& m) {
  // Input that the last handling left untouched would wake poll() again at once, forever: stop
  // watching input until a read takes some (Read raises the kick then). The flag is set before
  // the count is checked again, and Read counts before it checks the flag, so a read that races
  // with this cannot go unnoticed.
  if (!m.rxReported) return;
  m.rxReported = false;
  if (bytesRead_.load() == m.bytesReadAtReport) {
    rxStalled_.store(true);
    if (bytesRead_.load() != m.bytesReadAtReport) rxStalled_.store(false);
  }
}

TWaitOutcome TOsDevice::Platform::Sleep(MonitorState& m, int stopFd, short& port, int& error) {
  const bool watchInput = m.mask.Has(evRxChar) && !rxStalled_.load();
  const bool txWait = txPending_.load();
  pollfd fds[3] = {{stopFd, POLLIN, 0},
                   {fd_, static_cast<short>(watchInput ? POLLIN : 0), 0},
                   {kickFd_, POLLIN, 0}};
  // The only timed wake-up: while written bytes are still leaving, to see the queue empty.
  int r;
  do {
    r = poll(fds, 3, txWait ? m.txWaitMs : -1);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    error = errno;
    return TWaitOutcome::Failed;
  }
  if (fds[0].revents & POLLIN) return TWaitOutcome::Stopped;
  if (fds[2].revents & POLLIN) DrainEventFd(kickFd_);
  if (rxStalled_.load() && bytesRead_.load() != m.bytesReadAtReport) rxStalled_.store(false);
  port = fds[1].revents;
  if (port & POLLNVAL) {
    error = EBADF;
    return TWaitOutcome::Failed;
  }
  return TWaitOutcome::Events;
}

bool TOsDevice::Platform::InputEvents(short port, TComEvents& found, int& error) {
  if (port & POLLIN) {
    int waiting = 0;
    if (int e = Ioctl(fd_, FIONREAD, &waiting); e != 0) {
      error = e;
      return false;
    }
    if (waiting > 0) {
      found.Include(evRxChar);
      std::lock_guard lock(mutex_);
      if (waiting >= inputSize_ - inputSize_ / 5) found.Include(evRx80Full);
    }
  }
  // Hang-up: the other side of a pseudo-terminal closed, or the adapter was pulled out. Input
  // still waiting is reported first; after that the port has nothing more to give.
  if ((port & (POLLHUP | POLLERR)) && !found.Has(evRxChar)) {
    error = EIO;
    return false;
  }
  return true;
}

TComEvents TOsDevice::Platform::LineEvents(MonitorState& m) {
  TComEvents found;
  serial_icounter_struct now{};
  if (m.eventBase.valid && ReadCounters(fd_, now)) {
    const serial_icounter_struct& base = m.eventBase.c;
    if (now.frame != base.frame || now.overrun != base.overrun || now.parity != base.parity ||
        now.buf_overrun != base.buf_overrun) {
      found.Include(evError);
    }
    if (now.brk != base.brk) found.Include(evBreak);
    if (now.cts != base.cts) found.Include(evCTS);
    if (now.dsr != base.dsr) found.Include(evDSR);
    if (now.dcd != base.dcd) found.Include(evRLSD);
    if (now.rng != base.rng) found.Include(evRing);
    m.eventBase.c = now;
  } else if (hasModemLines_) {
    int bits = 0;
    if (Ioctl(fd_, TIOCMGET, &bits) == 0) {
      const int changed = bits ^ m.modemBits;
      if (changed & TIOCM_CTS) found.Include(evCTS);
      if (changed & TIOCM_DSR) found.Include(evDSR);
      if (changed & TIOCM_CD) found.Include(evRLSD);
      if ((changed & TIOCM_RNG) && !(bits & TIOCM_RNG)) found.Include(evRing);
      m.modemBits = bits;
    }
  }
  return found;
}

TComEvents TOsDevice::Platform::TransmitEvents(MonitorState& m) {
  TComEvents found;
  if (!txPending_.load()) return found;
  int queued = 0;
  if (Ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) {
    txPending_.store(false);
    found.Include(evTxEmpty);
    m.lastOutQueue = -1;
    m.txWaitMs = 1;
    return found;
  }
  // Wake again when the queue should have left at the line rate; a queue that does not move
  // (flow control holding it) is looked at less and less often.
  std::uint32_t rate;
  {
    std::lock_guard lock(mutex_);
    rate = std::max<std::uint32_t>(line_.rate, 50);
  }
  const int leaveMs =
      static_cast<int>(std::uint64_t{11000} * static_cast<unsigned>(queued) / rate) + 1;
  m.txWaitMs = queued == m.lastOutQueue ? std::min(m.txWaitMs * 2, 1000) : std::min(leaveMs, 1000);
  m.lastOutQueue = queued;
  return found;
}

TOsDevice::TOsDevice() : p_(std::make_unique<Platform>()) {}

TOsDevice::~TOsDevice() {
  Close();
}

std::string TSerialDevice::PathOf(const std::string& portName) {
  return portName.find('/') != std::string::npos ? portName : "/dev/" + portName;
}

int TOsDevice::Open(const std::string& portName) {
  if (p_->fd_ >= 0) return EBUSY;
  FdGuard fd(
      open(TSerialDevice::PathOf(portName).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  if (!isatty(fd.get())) return ENOTTY;

  // The advisory lock is what keeps two programs apart (TIOCEXCL does not bind root).
  int r;
  do {
    r = flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return errno;
  if (int e = Ioctl(fd.get(), TIOCEXCL, nullptr); e != 0) return e;

  // Drop DTR and RTS at once: the device bus must not see the lines raised by the open.
  int lines = TIOCM_DTR | TIOCM_RTS;
  const int bic = Ioctl(fd.get(), TIOCMBIC, &lines);
  if (bic != 0 && !NoModemLines(bic)) return bic;
  int bits = 0;
  const int get = Ioctl(fd.get(), TIOCMGET, &bits);
  if (get != 0 && !NoModemLines(get)) return get;
  const bool modemLines = get == 0;

  // Keep the lines down when the port is closed, too.
  termios t{};
  if (tcgetattr(fd.get(), &t) < 0) return errno;
  t.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
  if (tcsetattr(fd.get(), TCSANOW, &t) < 0) return errno;

  // USB adapters otherwise hold received bytes for up to 16 ms; drivers without the flag refuse.
  serial_struct ss{};
  constexpr int kLowLatency = static_cast<int>(ASYNC_LOW_LATENCY);
  if (Ioctl(fd.get(), TIOCGSERIAL, &ss) == 0 && (ss.flags & kLowLatency) == 0) {
    ss.flags |= kLowLatency;
    Ioctl(fd.get(), TIOCSSERIAL, &ss);
  }

  FdGuard abortFd(NewEventFd());
  if (abortFd.get() < 0) return errno;
  FdGuard kickFd(NewEventFd());
  if (kickFd.get() < 0) return errno;

  {
    std::lock_guard lock(p_->mutex_);
    p_->errorBase_.valid = ReadCounters(fd.get(), p_->errorBase_.c);
  }
  p_->hasModemLines_ = modemLines;
  p_->aborted_.store(false);
  p_->txPending_.store(false);
  p_->rxStalled_.store(false);
  p_->abortFd_ = abortFd.release();
  p_->kickFd_ = kickFd.release();
  p_->fd_ = fd.release();
  return 0;
}

bool TOsDevice::IsOpen() const {
  return p_->fd_ >= 0;
}

void TOsDevice::Close() {
  if (p_->fd_ < 0) return;
  EndMonitoring();
  // Discard unsent output so that close() does not wait for a line that may never drain.
  tcflush(p_->fd_, TCIOFLUSH);
  if (p_->rs485Before_) Ioctl(p_->fd_, TIOCSRS485, &*p_->rs485Before_);
  p_->rs485Before_.reset();
  Ioctl(p_->fd_, TIOCNXCL, nullptr);
  close(p_->fd_);  // also releases the lock
  close(p_->abortFd_);
  close(p_->kickFd_);
  p_->fd_ = p_->abortFd_ = p_->kickFd_ = -1;
  p_->hasModemLines_ = false;
}

int TOsDevice::SetQueueSizes(int inputSize, int outputSize) {
  std::lock_guard lock(p_->mutex_);
  p_->inputSize_ = inputSize;
  p_->outputSize_ = outputSize;
  return 0;
}

namespace {

// RTS toggled by the driver around each transmission, as Windows' RTS_CONTROL_TOGGLE does: the
// kernel's RS-485 mode with RTS on while sending and off after, read back to see that the driver
// keeps it (some accept the call and drop the flags). Returns 0 or the errno; `before` gets the
// driver's settings as they were.
int EnableRs485(int fd, serial_rs485& before) {
  if (int e = Ioctl(fd, TIOCGRS485, &before); e != 0) return e;
  serial_rs485 wanted = before;
  wanted.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  wanted.flags &=
      ~static_cast<decltype(wanted.flags)>(SER_RS485_RTS_AFTER_SEND | SER_RS485_RX_DURING_TX);
  if (int e = Ioctl(fd, TIOCSRS485, &wanted); e != 0) return e;
  serial_rs485 kept{};
  if (int e = Ioctl(fd, TIOCGRS485, &kept); e != 0) return e;
  const auto needed = static_cast<decltype(kept.flags)>(SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND);
  if ((kept.flags & needed) != needed || (kept.flags & SER_RS485_RTS_AFTER_SEND) != 0) {
    Ioctl(fd, TIOCSRS485, &before);
    return EOPNOTSUPP;
  }
  return 0;
}

}  // namespace

int TOsDevice::ApplyLineSettings(const TLineSettings& settings) {
  if (p_->fd_ < 0) return EBADF;
  if (int e = ApplyLineSettingsTermios2(p_->fd_, settings); e != 0) return e;
  if (settings.controlRTS == rtsToggle && !p_->rs485Before_) {
    serial_rs485 before{};
    if (int e = EnableRs485(p_->fd_, before); e != 0) return e;
    p_->rs485Before_ = before;
  } else if (settings.controlRTS != rtsToggle && p_->rs485Before_) {
    Ioctl(p_->fd_, TIOCSRS485, &*p_->rs485Before_);
    p_->rs485Before_.reset();
  }
  // DTR and RTS held as asked; handshake modes leave them to the kernel (RTS under CRTSCTS, and
  // under the RS-485 mode of rtsToggle).
  int set = 0;
  int clear = 0;
  (settings.controlDTR == dtrDisable ? clear : set) |= TIOCM_DTR;
  if (settings.controlRTS == rtsEnable) set |= TIOCM_RTS;
  if (settings.controlRTS == rtsDisable) clear |= TIOCM_RTS;
  if (set != 0) {
    const int e = Ioctl(p_->fd_, TIOCMBIS, &set);
    if (e != 0 && !NoModemLines(e)) return e;
  }
  if (clear != 0) {
    const int e = Ioctl(p_->fd_, TIOCMBIC, &clear);
    if (e != 0 && !NoModemLines(e)) return e;
  }
  std::lock_guard lock(p_->mutex_);
  p_->line_ = settings;
  return 0;
}

int TOsDevice::SetTimeouts(const TTimeoutSettings& timeouts) {
  std::lock_guard lock(p_->mutex_);
  p_->timeouts_ = timeouts;
  return 0;
}

TIoResult TOsDevice::Write(const void* buffer, int count) {
  if (p_->fd_ < 0) return {0, EBADF};
  if (count <= 0) return {0, 0};
  if (p_->aborted_.load()) return {0, ECANCELED};
  const TTimeoutSettings t = p_->CurrentTimeouts();
  Deadline deadline;
  if (t.writeTotalMultiplier != 0 || t.writeTotalConstant != 0) {
    deadline = After(std::uint64_t{t.writeTotalMultiplier} * static_cast<std::uint64_t>(count) +
                     t.writeTotalConstant);
  }
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  int done = 0;
  TIoResult result;
  while (done < count) {
    const ssize_t n = write(p_->fd_, bytes + done, static_cast<std::size_t>(count - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      result.error = errno;
      break;
    }
    const int wait = WaitForPort(p_->fd_, p_->abortFd_, POLLOUT, deadline);
    if (wait == kTimedOut) break;  // the write time-outs expired: fewer bytes, no error
    if (wait != 0) {
      result.error = wait;
      break;
    }
  }
  result.count = done;
  if (done > 0 && p_->txEmptyWanted_.load()) {
    p_->txPending_.store(true);
    RaiseEventFd(p_->kickFd_);
  }
  return result;
}

TIoResult TOsDevice::Read(void* buffer, int count) {
  if (p_->fd_ < 0) return {0, EBADF};
  if (count <= 0) return {0, 0};
  if (p_->aborted_.load()) return {0, ECANCELED};
  const TReadTimeouts plan = ReadTimeoutsOf(p_->CurrentTimeouts(), count);
  const bool takeWhatIsThere = plan.mode == TReadMode::Immediate;
  const bool returnOnFirst = plan.mode == TReadMode::FirstBytes;
  Deadline total;
  if (plan.totalMs) total = After(*plan.totalMs);

  auto* bytes = static_cast<unsigned char*>(buffer);
  TIoResult result;
  Deadline interval;
  while (result.count < count) {
    const ssize_t n =
        read(p_->fd_, bytes + result.count, static_cast<std::size_t>(count - result.count));
    if (n > 0) {
      result.count += static_cast<int>(n);
      p_->bytesRead_.fetch_add(static_cast<std::uint64_t>(n));
      if (returnOnFirst) break;
      if (plan.intervalMs != 0) interval = After(plan.intervalMs);
      continue;
    }
    if (n == 0) {  // end of file on a tty: the other side or the adapter has gone
      result.error = EIO;
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      result.error = errno;
      break;
    }
    if (takeWhatIsThere) break;
    Deadline deadline = total;
    if (interval && (!deadline || *interval < *deadline)) deadline = interval;
    const int wait = WaitForPort(p_->fd_, p_->abortFd_, POLLIN, deadline);
    if (wait == kTimedOut) break;  // silence after the last byte, or the total time-out
    if (wait != 0) {
      result.error = wait;
      break;
    }
  }
  // A monitor that stopped watching input because nobody took it watches again.
  if (result.count > 0 && p_->rxStalled_.load()) RaiseEventFd(p_->kickFd_);
  return result;
}

int TOsDevice::InputQueueCount(int& count) {
  count = 0;
  if (p_->fd_ < 0) return EBADF;
  int waiting = 0;
  if (int e = Ioctl(p_->fd_, FIONREAD, &waiting); e != 0) return e;
  count = waiting;
  // Like the status query of a serial driver, this clears the recorded line errors.
  std::lock_guard lock(p_->mutex_);
  if (p_->errorBase_.valid) ReadCounters(p_->fd_, p_->errorBase_.c);
  return 0;
}

int TOsDevice::ReadErrors(TComErrors& errors) {
  errors = {};
  if (p_->fd_ < 0) return EBADF;
  std::lock_guard lock(p_->mutex_);
  if (!p_->errorBase_.valid) return 0;  // no counters: no line errors to report
  serial_icounter_struct now{};
  if (int e = Ioctl(p_->fd_, TIOCGICOUNT, &now); e != 0) return NoModemLines(e) ? 0 : e;
  const serial_icounter_struct& base = p_->errorBase_.c;
  if (now.frame != base.frame) errors.Include(ceFrame);
  if (now.parity != base.parity && p_->line_.parityCheck) errors.Include(ceRxParity);
  if (now.overrun != base.overrun) errors.Include(ceOverrun);
  if (now.brk != base.brk) errors.Include(ceBreak);
  if (now.buf_overrun != base.buf_overrun) errors.Include(ceRxOver);
  p_->errorBase_.c = now;
  return 0;
}

int TOsDevice::ModemSignals(TModemSignals& signals) {
  signals = {};
  if (p_->fd_ < 0) return EBADF;
  int bits = 0;
  const int e = Ioctl(p_->fd_, TIOCMGET, &bits);
  if (e != 0) return NoModemLines(e) ? 0 : e;
  signals.cts = (bits & TIOCM_CTS) != 0;
  signals.dsr = (bits & TIOCM_DSR) != 0;
  signals.ring = (bits & TIOCM_RNG) != 0;
  signals.rlsd = (bits & TIOCM_CD) != 0;
  return 0;
}

int TOsDevice::AbortTransfers() {
  if (p_->fd_ < 0) return 0;
  p_->aborted_.store(true);
  if (const int e = RaiseEventFd(p_->abortFd_); e != 0) {
    p_->aborted_.store(false);
    return e;
  }
  return 0;
}

int TOsDevice::DiscardQueues() {
  if (p_->fd_ < 0) return EBADF;
  return tcflush(p_->fd_, TCIOFLUSH) < 0 ? errno : 0;
}

// ---- Monitor side

int TOsDevice::BeginMonitoring(TComEvents mask) {
  if (p_->fd_ < 0) return EBADF;
  auto monitor = std::make_unique<MonitorState>();
  monitor->mask = mask;
  monitor->eventBase.valid = ReadCounters(p_->fd_, monitor->eventBase.c);
  if (p_->hasModemLines_) Ioctl(p_->fd_, TIOCMGET, &monitor->modemBits);
  DrainEventFd(p_->kickFd_);
  const bool wantsLines =
      mask.Has(evCTS) || mask.Has(evDSR) || mask.Has(evRLSD) || mask.Has(evRing);
  if (p_->hasModemLines_ && wantsLines) {
    try {
      monitor->modemWatch = std::make_unique<TModemWatch>(p_->fd_, p_->kickFd_);
    } catch (const std::system_error& e) {
      return e.code().value();  // the helper thread could not start
    }
  }
  p_->rxStalled_.store(false);
  p_->txPending_.store(false);
  p_->txEmptyWanted_.store(mask.Has(evTxEmpty));
  p_->monitor_ = std::move(monitor);
  return 0;
}

void TOsDevice::EndMonitoring() {
  if (!p_->monitor_) return;
  p_->txEmptyWanted_.store(false);
  p_->txPending_.store(false);
  p_->monitor_.reset();  // stops the modem-line helper while the descriptor is still open
}

TWaitOutcome TOsDevice::WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) {
  events = {};
  error = 0;
  MonitorState& m = *p_->monitor_;
  p_->PauseInputWhileUnread(m);
  for (;;) {
    short port = 0;
    if (const TWaitOutcome woken = p_->Sleep(m, static_cast<int>(stop.Native()), port, error);
        woken != TWaitOutcome::Events) {
      return woken;
    }
    TComEvents found;
    if (!p_->InputEvents(port, found, error)) return TWaitOutcome::Failed;
    const std::uint32_t seen =
        found.Bits() | p_->LineEvents(m).Bits() | p_->TransmitEvents(m).Bits();
    found = TComEvents::FromBits(seen & m.mask.Bits());
    if (found.Empty()) continue;
    if (found.Has(evRxChar)) {
      m.rxReported = true;
      m.bytesReadAtReport = p_->bytesRead_.load();
    }
    events = found;
    return TWaitOutcome::Events;
  }
}
