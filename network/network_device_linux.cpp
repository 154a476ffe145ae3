// A line through a serial device server, on Linux sockets: a TCP connection to the server, with
// the telnet COM-port-control option (rfc2217://) or as the raw byte stream (tcp://). It behaves
// as a local port without modem lines: the read time-outs, the abort and the monitor's events
// are those of serial_device_linux.cpp, with the same poll()/eventfd waits.
//
// Everything the server sends goes through one session (network_session.h) under rxMutex_:
// data bytes into its input queue, negotiations answered, answers to the settings counted.
// Whichever thread finds the socket readable decodes it (Read, InputQueueCount, the monitor, a
// settings change waiting for its confirmation) and wakes the others through eventfds.
//
// Error codes (errno): EINVAL a malformed name; ENXIO a host name that does not resolve;
// ECONNREFUSED, ENETUNREACH, EHOSTUNREACH as connect() gives them; ETIMEDOUT a connect that
// does not complete in kConnectMs or a setting the server does not confirm in kConfirmMs;
// EPROTONOSUPPORT a server that refuses the COM-port option; EPROTO one that never answers it;
// EIO, ECONNRESET, EPIPE the server has closed the connection.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>

#include "network/network_port_name.h"
#include "network/network_session.h"
#include "network/telnet_codec.h"
#include "serial/device_layer.h"
#include "serial/read_timeouts.h"
#include "system/poll_until_linux.h"
#include "system/stop_signal.h"

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;
using telnet::Bytes;
using namespace network;

Deadline After(int ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}

Deadline AfterMs(std::uint64_t ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}

void RaiseEventFd(int fd) {
  const std::uint64_t one = 1;
  while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void DrainEventFd(int fd) {
  std::uint64_t value;
  while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Connects to one address with the deadline; returns the socket or -1 with the errno in error.
int ConnectOne(const addrinfo& ai, const Deadline& deadline, int& error) {
  int fd = socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  int r;
  do {
    r = connect(fd, ai.ai_addr, ai.ai_addrlen);
  } while (r < 0 && errno == EINTR);
  if (r < 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    const int ready = PollUntil(&p, 1, deadline);
    if (ready <= 0) {
      error = ready == 0 ? ETIMEDOUT : errno;
      close(fd);
      return -1;
    }
    int soError = 0;
    socklen_t length = sizeof soError;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) < 0) soError = errno;
    r = soError == 0 ? 0 : -1;
    errno = soError;
  }
  if (r < 0) {
    error = errno;
    close(fd);
    return -1;
  }
  // A request is one small write: send it at once rather than wait for more.
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

class TNetworkDevice final : public TDeviceLayer {
 public:
  ~TNetworkDevice() override { Close(); }

  int Open(const std::string& portName) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  int SetQueueSizes(int inputSize, int outputSize) override {
    std::lock_guard lock(rxMutex_);
    inputSize_ = inputSize;
    outputSize_ = outputSize;
    return 0;
  }
  int ApplyLineSettings(const TLineSettings& settings) override;
  int SetTimeouts(const TTimeoutSettings& timeouts) override {
    std::lock_guard lock(rxMutex_);
    timeouts_ = timeouts;
    return 0;
  }
  TIoResult Write(const void* buffer, int count) override;
  TIoResult Read(void* buffer, int count) override;
  int InputQueueCount(int& count) override;
  int ReadErrors(TComErrors& errors) override {
    errors = {};  // a TCP connection has no line errors to report
    return fd_ < 0 ? EBADF : 0;
  }
  int ModemSignals(TModemSignals& signals) override {
    signals = {};  // as on a pseudo-terminal: no modem lines, all signals off
    return fd_ < 0 ? EBADF : 0;
  }
  int AbortTransfers() override;
  int DiscardQueues() override;
  int BeginMonitoring(TComEvents mask) override;
  TWaitOutcome WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) override;
  void EndMonitoring() override { monitoring_ = false; }

 private:
  // Takes what the socket holds without blocking and decodes it. Caller holds rxMutex_.
  void PumpLocked(bool fromMonitor);
  // Sends every byte or fails: the abort and the deadline end it (ETIMEDOUT, ECANCELED).
  int SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
              std::size_t* sent = nullptr);
  // Waits, pumping, until done() holds (under rxMutex_), the deadline passes or the connection
  // ends. Returns 0, ETIMEDOUT, or the connection's error.
  template <typename Done>
  int WaitFor(Done done, const Deadline& deadline);
  int Negotiate();

  TNetworkProtocol protocol_ = TNetworkProtocol::Raw;
  int fd_ = -1;
  int abortFd_ = -1;   // raised by AbortTransfers, in the poll set of every transfer
  int dataFd_ = -1;    // raised when a pump adds data: wakes a Read blocked on the socket
  int kickFd_ = -1;    // raised when someone else adds data or a write is done: wakes the monitor
  int answerFd_ = -1;  // raised when a pump takes anything from the server: wakes WaitFor
  std::atomic<bool> aborted_{false};

  std::mutex sendMutex_;  // one writer on the socket at a time; taken after rxMutex_, never before

  std::mutex rxMutex_;  // guards everything below
  TSession session_;
  int connectionError_ = 0;  // the server closed the connection or it failed
  TTimeoutSettings timeouts_;
  int inputSize_ = 1024;
  int outputSize_ = 1024;

  // Monitor side, touched by the monitor thread only (and Begin/EndMonitoring).
  bool monitoring_ = false;
  TComEvents mask_;
  std::uint64_t reportedArrived_ = 0;
  std::atomic<bool> txEmptyWanted_{false};
  std::atomic<bool> txPending_{false};
};

int TNetworkDevice::Open(const std::string& portName) {
  if (fd_ >= 0) return EBUSY;
  const std::optional<TNetworkPortName> name = ParseNetworkPortName(portName);
  if (!name) return EINVAL;
  protocol_ = name->protocol;

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(name->port);
  int gai = getaddrinfo(name->host.c_str(), service.c_str(), &hints, &found);
  if (gai == EAI_NONAME || gai == EAI_ADDRFAMILY) {
    // AI_ADDRCONFIG hides ::1 on a machine whose only IPv6 address is loopback.
    hints.ai_flags = AI_NUMERICSERV;
    gai = getaddrinfo(name->host.c_str(), service.c_str(), &hints, &found);
  }
  if (gai != 0) {
    if (gai == EAI_SYSTEM) return errno;
    if (gai == EAI_MEMORY) return ENOMEM;
    return ENXIO;  // the name does not resolve (or the resolver cannot be reached)
  }
  const Deadline deadline = After(kConnectMs);
  int error = EHOSTUNREACH;
  int fd = -1;
  for (const addrinfo* ai = found; ai != nullptr && fd < 0; ai = ai->ai_next) {
    fd = ConnectOne(*ai, deadline, error);
  }
  freeaddrinfo(found);
  if (fd < 0) return error;

  const int abortFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int dataFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int kickFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int answerFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (abortFd < 0 || dataFd < 0 || kickFd < 0 || answerFd < 0) {
    const int e = errno;
    for (int f : {fd, abortFd, dataFd, kickFd, answerFd}) {
      if (f >= 0) close(f);
    }
    return e;
  }
  {
    std::lock_guard lock(rxMutex_);
    session_.Reset(protocol_);
    connectionError_ = 0;
  }
  aborted_.store(false);
  fd_ = fd;
  abortFd_ = abortFd;
  dataFd_ = dataFd;
  kickFd_ = kickFd;
  answerFd_ = answerFd;
  if (protocol_ == TNetworkProtocol::ComPortControl) {
    if (const int e = Negotiate(); e != 0) {
      Close();
      return e;
    }
  }
  return 0;
}

int TNetworkDevice::Negotiate() {
  Bytes offer;
  {
    std::lock_guard lock(rxMutex_);
    offer = session_.Offer();
  }
  const Deadline deadline = After(kNegotiationMs);
  if (const int e = SendAll(offer.data(), offer.size(), deadline); e != 0) return e;
  const int e =
      WaitFor([this] { return session_.ComPortAgreed() || session_.ComPortRefused(); }, deadline);
  if (e == ETIMEDOUT) return EPROTO;
  if (e != 0) return e;
  std::lock_guard lock(rxMutex_);
  return session_.ComPortAgreed() ? 0 : EPROTONOSUPPORT;
}

void TNetworkDevice::Close() {
  if (fd_ < 0) return;
  CloseFd(fd_);
  CloseFd(abortFd_);
  CloseFd(dataFd_);
  CloseFd(kickFd_);
  CloseFd(answerFd_);
  monitoring_ = false;
}

void TNetworkDevice::PumpLocked(bool fromMonitor) {
  if (connectionError_ != 0) return;
  std::uint8_t buffer[4096];
  const std::uint64_t before = session_.Arrived();
  bool received = false;
  for (;;) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      // Acknowledge at once: a server that sends a reply in small pieces with Nagle's algorithm
      // on waits for each acknowledgement, and a delayed one holds the rest back for up to 40 ms.
      const int one = 1;
      setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
      session_.Received(buffer, static_cast<std::size_t>(n));
      received = true;
      continue;
    }
    if (n == 0) {
      connectionError_ = EIO;  // the server closed the connection: as an adapter pulled out
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) connectionError_ = errno;
    break;
  }
  if (const Bytes answers = session_.TakeAnswers(); !answers.empty()) {
    SendAll(answers.data(), answers.size(), After(kConfirmMs));
  }
  // An answer that another thread's pump takes must still end a WaitFor.
  if (received || connectionError_ != 0) RaiseEventFd(answerFd_);
  if (session_.Arrived() != before || connectionError_ != 0) {
    RaiseEventFd(dataFd_);
    if (!fromMonitor) RaiseEventFd(kickFd_);
  }
}

int TNetworkDevice::SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
                            std::size_t* sent) {
  std::lock_guard lock(sendMutex_);
  std::size_t done = 0;
  int error = 0;
  while (done < count) {
    const ssize_t n = send(fd_, bytes + done, count - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      error = errno;
      break;
    }
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {abortFd_, POLLIN, 0}};
    const int r = PollUntil(fds, 2, deadline);
    if (r < 0) {
      error = errno;
      break;
    }
    if (r == 0) {
      error = ETIMEDOUT;
      break;
    }
    if (fds[1].revents & POLLIN) {
      error = ECANCELED;
      break;
    }
  }
  if (sent != nullptr) *sent = done;
  return error;
}

template <typename Done>
int TNetworkDevice::WaitFor(Done done, const Deadline& deadline) {
  for (;;) {
    DrainEventFd(answerFd_);  // before looking, so that an answer decoded later wakes the poll
    {
      std::lock_guard lock(rxMutex_);
      PumpLocked(false);
      if (done()) return 0;
      if (connectionError_ != 0) return connectionError_;
    }
    pollfd fds[3] = {{fd_, POLLIN, 0}, {abortFd_, POLLIN, 0}, {answerFd_, POLLIN, 0}};
    const int r = PollUntil(fds, 3, deadline);
    if (r < 0) return errno;
    if (r == 0) {
      std::lock_guard lock(rxMutex_);
      PumpLocked(false);
      return done() ? 0 : ETIMEDOUT;
    }
    if (fds[1].revents & POLLIN) return ECANCELED;
  }
}

int TNetworkDevice::ApplyLineSettings(const TLineSettings& settings) {
  if (fd_ < 0) return EBADF;
  // A raw line keeps the rate and framing set at the server.
  if (protocol_ == TNetworkProtocol::Raw) return 0;

  TSettingsRequest request;
  {
    std::lock_guard lock(rxMutex_);
    PumpLocked(false);
    request = session_.SettingsRequest(settings);
  }
  const Deadline deadline = After(kConfirmMs);
  if (const int e = SendAll(request.bytes.data(), request.bytes.size(), deadline); e != 0) return e;
  // The rate and framing must be in force before the next request is sent.
  if (const int e = WaitFor([&] { return session_.Framed(request); }, deadline); e != 0) return e;
  {
    std::lock_guard lock(rxMutex_);
    // Another rate than asked for did not reach the line.
    if (!session_.RateAsAsked(request)) return EINVAL;
    if (session_.ControlWaitSpent()) return 0;
  }
  const int e =
      WaitFor([&] { return session_.ControlsConfirmed(request); }, After(kControlConfirmMs));
  if (e == ETIMEDOUT) {
    std::lock_guard lock(rxMutex_);
    session_.SpendControlWait();
    return 0;
  }
  return e;
}

TIoResult TNetworkDevice::Write(const void* buffer, int count) {
  if (fd_ < 0) return {0, EBADF};
  if (count <= 0) return {0, 0};
  if (aborted_.load()) return {0, ECANCELED};
  TTimeoutSettings t;
  {
    std::lock_guard lock(rxMutex_);
    if (connectionError_ != 0) return {0, connectionError_};
    t = timeouts_;
  }
  Deadline deadline;
  if (const auto limit = WriteLimitMs(t, count)) deadline = AfterMs(*limit);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  const Bytes out = session_.EncodeData(bytes, count);
  std::size_t sent = 0;
  const int e = SendAll(out.data(), out.size(), deadline, &sent);
  TIoResult result;
  result.error = e == ETIMEDOUT ? 0 : e;  // the write time-outs expired: fewer bytes, no error
  result.count = session_.DataBytesSent(bytes, count, sent);  // a doubled 0xFF counts once
  if (result.count > 0 && txEmptyWanted_.load()) {
    txPending_.store(true);
    RaiseEventFd(kickFd_);
  }
  return result;
}

TIoResult TNetworkDevice::Read(void* buffer, int count) {
  if (fd_ < 0) return {0, EBADF};
  if (count <= 0) return {0, 0};
  if (aborted_.load()) return {0, ECANCELED};
  TTimeoutSettings t;
  {
    std::lock_guard lock(rxMutex_);
    t = timeouts_;
  }
  const TReadTimeouts plan = ReadTimeoutsOf(t, count);
  const bool takeWhatIsThere = plan.mode == TReadMode::Immediate;
  const bool returnOnFirst = plan.mode == TReadMode::FirstBytes;
  Deadline total;
  if (plan.totalMs) total = AfterMs(*plan.totalMs);

  auto* bytes = static_cast<std::uint8_t*>(buffer);
  TIoResult result;
  Deadline interval;
  while (result.count < count) {
    DrainEventFd(dataFd_);  // before looking at the queue, so a later arrival wakes the poll
    int took = 0;
    int error = 0;
    {
      std::lock_guard lock(rxMutex_);
      PumpLocked(false);
      std::deque<std::uint8_t>& input = session_.Input();
      while (result.count < count && !input.empty()) {
        bytes[result.count++] = input.front();
        input.pop_front();
        ++took;
      }
      if (result.count < count && input.empty()) error = connectionError_;
    }
    if (took > 0) {
      if (returnOnFirst) break;
      if (plan.intervalMs != 0) interval = AfterMs(plan.intervalMs);
      continue;
    }
    if (error != 0) {
      result.error = error;
      break;
    }
    if (takeWhatIsThere) break;
    Deadline deadline = total;
    if (interval && (!deadline || *interval < *deadline)) deadline = interval;
    pollfd fds[3] = {{fd_, POLLIN, 0}, {abortFd_, POLLIN, 0}, {dataFd_, POLLIN, 0}};
    const int r = PollUntil(fds, 3, deadline);
    if (r < 0) {
      result.error = errno;
      break;
    }
    if (r == 0) break;  // silence after the last byte, or the total time-out
    if (fds[1].revents & POLLIN) {
      result.error = ECANCELED;
      break;
    }
  }
  return result;
}

int TNetworkDevice::InputQueueCount(int& count) {
  count = 0;
  if (fd_ < 0) return EBADF;
  std::lock_guard lock(rxMutex_);
  PumpLocked(false);
  count = static_cast<int>(session_.Input().size());
  return 0;
}

int TNetworkDevice::AbortTransfers() {
  if (fd_ < 0) return 0;
  aborted_.store(true);
  RaiseEventFd(abortFd_);
  return 0;
}

int TNetworkDevice::DiscardQueues() {
  if (fd_ < 0) return EBADF;
  {
    std::lock_guard lock(rxMutex_);
    PumpLocked(false);
    session_.Input().clear();
    if (connectionError_ != 0) return 0;
  }
  if (protocol_ == TNetworkProtocol::Raw || aborted_.load()) return 0;
  // The server's buffers towards and from the line are dropped as well.
  const Bytes purge = TSession::PurgeRequest();
  const int e = SendAll(purge.data(), purge.size(), After(kConfirmMs));
  return e == EPIPE || e == ECONNRESET ? 0 : e;
}

int TNetworkDevice::BeginMonitoring(TComEvents mask) {
  if (fd_ < 0) return EBADF;
  DrainEventFd(kickFd_);
  mask_ = mask;
  {
    std::lock_guard lock(rxMutex_);
    reportedArrived_ = session_.Arrived() -
                       session_.Input().size();  // what waits already is reported at the first wait
  }
  txPending_.store(false);
  txEmptyWanted_.store(mask.Has(evTxEmpty));
  monitoring_ = true;
  return 0;
}

TWaitOutcome TNetworkDevice::WaitForEvents(const TStopSignal& stop, TComEvents& events,
                                           int& error) {
  const int stopFd = static_cast<int>(stop.Native());
  events = {};
  error = 0;
  for (;;) {
    TComEvents found;
    bool gone = false;
    {
      std::lock_guard lock(rxMutex_);
      PumpLocked(true);
      // Data decoded since the last report, by this thread or another one.
      if (session_.Arrived() != reportedArrived_ && !session_.Input().empty()) {
        found.Include(evRxChar);
        const int waiting = static_cast<int>(session_.Input().size());
        if (waiting >= inputSize_ - inputSize_ / 5) found.Include(evRx80Full);
      }
      reportedArrived_ = session_.Arrived();
      // A closed connection is reported once the input that came before it has been.
      gone = connectionError_ != 0 && !found.Has(evRxChar);
      if (gone) error = connectionError_;
    }
    if (gone) return TWaitOutcome::Failed;
    // Bytes handed to the socket have left the program: the transmit queue is empty.
    if (txPending_.exchange(false)) found.Include(evTxEmpty);
    found = TComEvents::FromBits(found.Bits() & mask_.Bits());
    if (!found.Empty()) {
      events = found;
      return TWaitOutcome::Events;
    }
    pollfd fds[3] = {{stopFd, POLLIN, 0}, {fd_, POLLIN, 0}, {kickFd_, POLLIN, 0}};
    int r;
    do {
      r = poll(fds, 3, -1);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
      error = errno;
      return TWaitOutcome::Failed;
    }
    if (fds[0].revents & POLLIN) return TWaitOutcome::Stopped;
    if (fds[2].revents & POLLIN) DrainEventFd(kickFd_);
    if (fds[1].revents & POLLNVAL) {
      error = EBADF;
      return TWaitOutcome::Failed;
    }
  }
}

}  // namespace

std::unique_ptr<TDeviceLayer> MakeNetworkDevice() {
  return std::make_unique<TNetworkDevice>();
}
