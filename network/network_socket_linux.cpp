// The socket of a network line on Linux: a non-blocking TCP socket, eventfds as the signals,
// and poll() with the deadline from the monotonic clock as the one wait, EINTR retried.
//
// Error codes (errno): EINVAL a malformed name or a rate answered other than asked; ENXIO a host
// name that does not resolve; ECONNREFUSED, ENETUNREACH, EHOSTUNREACH as connect() gives them;
// ETIMEDOUT a connect or an answer that took too long; EPROTONOSUPPORT a server that refuses the
// COM-port option; EPROTO one that never answers it; EIO, ECONNRESET, EPIPE the server has
// closed the connection; ECANCELED a transfer ended by the abort; EBADF a closed line.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "network/network_socket.h"
#include "system/event_fd_linux.h"
#include "system/poll_until_linux.h"
#include "system/stop_signal.h"

namespace network {

const TLineErrors kLineErrors = {
    .busy = EBUSY,
    .invalidName = EINVAL,
    .notOpen = EBADF,
    .timedOut = ETIMEDOUT,
    .aborted = ECANCELED,
    .optionRefused = EPROTONOSUPPORT,
    .optionUnanswered = EPROTO,
    .rateRefused = EINVAL,
    .closed = EIO,
    .gone = {EPIPE, ECONNRESET, ECONNABORTED},
};

namespace {

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

// The first address of the name that accepts the connection before the deadline.
int ConnectToServer(const TNetworkPortName& name, const Deadline& deadline, int& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(name.port);
  int gai = getaddrinfo(name.host.c_str(), service.c_str(), &hints, &found);
  if (gai == EAI_NONAME || gai == EAI_ADDRFAMILY) {
    // AI_ADDRCONFIG hides ::1 on a machine whose only IPv6 address is loopback.
    hints.ai_flags = AI_NUMERICSERV;
    gai = getaddrinfo(name.host.c_str(), service.c_str(), &hints, &found);
  }
  if (gai != 0) {
    if (gai == EAI_SYSTEM) {
      error = errno;
    } else if (gai == EAI_MEMORY) {
      error = ENOMEM;
    } else {
      error = ENXIO;  // the name does not resolve (or the resolver cannot be reached)
    }
    return -1;
  }
  error = EHOSTUNREACH;
  int fd = -1;
  for (const addrinfo* ai = found; ai != nullptr && fd < 0; ai = ai->ai_next) {
    fd = ConnectOne(*ai, deadline, error);
  }
  freeaddrinfo(found);
  return fd;
}

}  // namespace

struct TLineSocket::Platform {
  int fd = -1;
  int signals[4] = {-1, -1, -1, -1};  // eventfds, by TSignal

  int Signal(TSignal signal) const { return signals[static_cast<int>(signal)]; }
};

TLineSocket::TLineSocket() : p_(std::make_unique<Platform>()) {}

TLineSocket::~TLineSocket() {
  Close();
}

int TLineSocket::Connect(const TNetworkPortName& name, const Deadline& deadline) {
  int error = 0;
  const int fd = ConnectToServer(name, deadline, error);
  if (fd < 0) return error;
  int signals[4];
  for (int& signal : signals) {
    signal = NewEventFd();
  }
  for (const int signal : signals) {
    if (signal >= 0) continue;
    const int e = errno;
    close(fd);
    for (int& other : signals) {
      CloseFd(other);
    }
    return e;
  }
  p_->fd = fd;
  std::copy(std::begin(signals), std::end(signals), p_->signals);
  return 0;
}

void TLineSocket::Close() {
  CloseFd(p_->fd);
  for (int& signal : p_->signals) {
    CloseFd(signal);
  }
}

bool TLineSocket::IsOpen() const {
  return p_->fd >= 0;
}

TReceived TLineSocket::Receive(std::uint8_t* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = recv(p_->fd, buffer, size, MSG_DONTWAIT);
    if (n > 0) {
      // Acknowledge at once: a server that sends a reply in small pieces with Nagle's algorithm
      // on waits for each acknowledgement, and a delayed one holds the rest back for up to 40 ms.
      const int one = 1;
      setsockopt(p_->fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
      return {static_cast<std::size_t>(n), false, 0};
    }
    if (n == 0) return {0, true, 0};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
    return {0, false, errno};
  }
}

int TLineSocket::SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
                         std::size_t& sent) {
  sent = 0;
  while (sent < count) {
    const ssize_t n = send(p_->fd, bytes + sent, count - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    pollfd fds[2] = {{p_->fd, POLLOUT, 0}, {p_->Signal(TSignal::Abort), POLLIN, 0}};
    const int r = PollUntil(fds, 2, deadline);
    if (r < 0) return errno;
    if (r == 0) return ETIMEDOUT;
    if (fds[1].revents & POLLIN) return ECANCELED;
  }
  return 0;
}

void TLineSocket::Raise(TSignal signal) {
  RaiseEventFd(p_->Signal(signal));
}

void TLineSocket::Clear(TSignal signal) {
  DrainEventFd(p_->Signal(signal));
}

TWoken TLineSocket::Wait(TSignal signal, const TStopSignal* stop, const Deadline& deadline,
                         int& error) {
  const int first = stop != nullptr ? static_cast<int>(stop->Native()) : p_->Signal(TSignal::Abort);
  pollfd fds[3] = {{first, POLLIN, 0}, {p_->fd, POLLIN, 0}, {p_->Signal(signal), POLLIN, 0}};
  const int r = PollUntil(fds, 3, deadline);
  if (r < 0) {
    error = errno;
    return TWoken::Failed;
  }
  if (r == 0) return TWoken::TimedOut;
  if (fds[0].revents & POLLIN) return stop != nullptr ? TWoken::Stopped : TWoken::Aborted;
  if (fds[1].revents & POLLNVAL) {
    error = EBADF;
    return TWoken::Failed;
  }
  return fds[2].revents & POLLIN ? TWoken::Signalled : TWoken::Readable;
}

}  // namespace network
