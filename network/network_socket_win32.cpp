// The socket of a network line on Winsock: the socket signals one event (WSAEventSelect: data,
// room to send, closed), which every wait holds in one WaitForMultipleObjects beside a signal
// and the abort event (transfers) or the stop signal (the monitor); manual-reset events are the
// signals.
//
// The socket's event is manual-reset and reset by whoever collects its network events, so each
// collector passes them on: a receive collects them first and raises the room-to-send event
// for SendAll when there is room; SendAll, waiting for room, raises the data, kick and answer
// signals when data came meanwhile. So no wait wakes over and over on an event that nobody
// resets: the monitor sleeps while the line is silent.
//
// Error codes (GetLastError and WSAGetLastError values): ERROR_INVALID_NAME a malformed name;
// WSAHOST_NOT_FOUND a host name that does not resolve; WSAECONNREFUSED, WSAENETUNREACH,
// WSAEHOSTUNREACH as connect gives them; WSAETIMEDOUT a connect or an answer that took too
// long; WSAEPROTONOSUPPORT a server that refuses the COM-port option; ERROR_BAD_NET_RESP one
// that never answers it; ERROR_INVALID_PARAMETER a rate answered other than asked;
// ERROR_GEN_FAILURE (as a USB adapter pulled out gives it), WSAECONNRESET, WSAECONNABORTED the
// server has closed the connection; ERROR_OPERATION_ABORTED a transfer ended by the abort;
// ERROR_INVALID_HANDLE a closed line.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before windows.h.
#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "network/network_socket.h"
#include "system/stop_signal.h"

namespace network {

const TLineErrors kLineErrors = {
    .busy = ERROR_BUSY,
    .invalidName = ERROR_INVALID_NAME,
    .notOpen = ERROR_INVALID_HANDLE,
    .timedOut = WSAETIMEDOUT,
    .aborted = ERROR_OPERATION_ABORTED,
    .optionRefused = WSAEPROTONOSUPPORT,
    .optionUnanswered = ERROR_BAD_NET_RESP,
    .rateRefused = ERROR_INVALID_PARAMETER,
    .closed = ERROR_GEN_FAILURE,
    .gone = {WSAECONNRESET, WSAECONNABORTED, WSAESHUTDOWN},
};

namespace {

DWORD WaitMs(const Deadline& deadline) {
  if (!deadline) return INFINITE;
  const auto left = *deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<DWORD>(std::min<std::int64_t>(ms, 0x7FFFFFFF));
}

constexpr int kWaitTimedOut = -1;
constexpr int kWaitFailed = -2;

// The index of a raised handle (the first one when several are), kWaitTimedOut once the
// deadline has passed, kWaitFailed with GetLastError set.
int WaitAny(const HANDLE* handles, DWORD count, const Deadline& deadline) {
  for (;;) {
    const DWORD r = WaitForMultipleObjects(count, handles, FALSE, WaitMs(deadline));
    if (r < WAIT_OBJECT_0 + count) return static_cast<int>(r - WAIT_OBJECT_0);
    if (r != WAIT_TIMEOUT) return kWaitFailed;
    // The system's timer may end a wait a little before the clock reaches the deadline.
    if (deadline && Clock::now() >= *deadline) return kWaitTimedOut;
  }
}

// Winsock for the whole process, started at the first network line and left to the process's
// end (a later cleanup would pull it from under another port still open).
int StartWinsock() {
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

void CloseEvent(HANDLE& event) {
  if (event != nullptr) CloseHandle(event);
  event = nullptr;
}

// Connects to one address with the deadline, the socket tied to the event for its connect.
// Returns the socket, or INVALID_SOCKET with the error code in error.
SOCKET ConnectOne(const addrinfo& ai, HANDLE event, const Deadline& deadline, int& error) {
  SOCKET s = WSASocketW(ai.ai_family, ai.ai_socktype, ai.ai_protocol, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    error = WSAGetLastError();
    return INVALID_SOCKET;
  }
  ResetEvent(event);
  // Non-blocking from here on: the connect and every transfer wait on the event instead.
  if (WSAEventSelect(s, event, FD_CONNECT) == SOCKET_ERROR) {
    error = WSAGetLastError();
    closesocket(s);
    return INVALID_SOCKET;
  }
  if (connect(s, ai.ai_addr, static_cast<int>(ai.ai_addrlen)) == SOCKET_ERROR) {
    error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      closesocket(s);
      return INVALID_SOCKET;
    }
    const int woken = WaitAny(&event, 1, deadline);
    WSANETWORKEVENTS events{};
    if (woken != 0 || WSAEnumNetworkEvents(s, event, &events) == SOCKET_ERROR ||
        (events.lNetworkEvents & FD_CONNECT) == 0) {
      error = woken == kWaitFailed ? static_cast<int>(GetLastError()) : WSAETIMEDOUT;
      closesocket(s);
      return INVALID_SOCKET;
    }
    if (events.iErrorCode[FD_CONNECT_BIT] != 0) {
      error = events.iErrorCode[FD_CONNECT_BIT];
      closesocket(s);
      return INVALID_SOCKET;
    }
  }
  // A request is one small write: send it at once rather than wait for more.
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  // Acknowledge every segment at once: a server that sends a reply in small pieces with Nagle's
  // algorithm on waits for each acknowledgement, and a delayed one holds the rest back. Older
  // systems (and wine) do not know the call; the line works without it, a little slower.
  DWORD frequency = 1;
  DWORD unused = 0;
  WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &frequency, sizeof frequency, nullptr, 0, &unused, nullptr,
           nullptr);
  return s;
}

// The first address of the name that accepts the connection before the deadline.
SOCKET ConnectToServer(const TNetworkPortName& name, HANDLE event, const Deadline& deadline,
                       int& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(name.port);
  if (const int gai = getaddrinfo(name.host.c_str(), service.c_str(), &hints, &found); gai != 0) {
    // The name does not resolve (or the resolver cannot be reached).
    error = gai == EAI_MEMORY ? WSA_NOT_ENOUGH_MEMORY : WSAHOST_NOT_FOUND;
    return INVALID_SOCKET;
  }
  error = WSAEHOSTUNREACH;
  SOCKET s = INVALID_SOCKET;
  for (const addrinfo* ai = found; ai != nullptr && s == INVALID_SOCKET; ai = ai->ai_next) {
    s = ConnectOne(*ai, event, deadline, error);
  }
  freeaddrinfo(found);
  return s;
}

}  // namespace

struct TLineSocket::Platform {
  SOCKET socket = INVALID_SOCKET;
  HANDLE socketEvent = nullptr;    // the socket's network events
  HANDLE writableEvent = nullptr;  // room to send again: wakes SendAll
  HANDLE signals[4] = {};          // by TSignal

  HANDLE Signal(TSignal signal) const { return signals[static_cast<int>(signal)]; }
  // Passes data or a close that the socket's event announced on to the waits that look for it.
  void PassOnArrivals() {
    WSANETWORKEVENTS network{};
    if (WSAEnumNetworkEvents(socket, socketEvent, &network) == 0 &&
        (network.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0) {
      for (TSignal s : {TSignal::Data, TSignal::Kick, TSignal::Answer}) {
        SetEvent(Signal(s));
      }
    }
  }
};

TLineSocket::TLineSocket() : p_(std::make_unique<Platform>()) {}

TLineSocket::~TLineSocket() {
  Close();
}

int TLineSocket::Connect(const TNetworkPortName& name, const Deadline& deadline) {
  if (const int e = StartWinsock(); e != 0) return e;
  HANDLE events[6] = {};
  for (HANDLE& event : events) {
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  const auto closeEvents = [&] {
    for (HANDLE& event : events) {
      CloseEvent(event);
    }
  };
  if (std::find(std::begin(events), std::end(events), nullptr) != std::end(events)) {
    const int e = static_cast<int>(GetLastError());
    closeEvents();
    return e;
  }
  int error = 0;
  const SOCKET s = ConnectToServer(name, events[0], deadline, error);
  if (s == INVALID_SOCKET) {
    closeEvents();
    return error;
  }
  ResetEvent(events[0]);
  if (WSAEventSelect(s, events[0], FD_READ | FD_WRITE | FD_CLOSE) == SOCKET_ERROR) {
    const int e = WSAGetLastError();
    closesocket(s);
    closeEvents();
    return e;
  }
  p_->socket = s;
  p_->socketEvent = events[0];
  p_->writableEvent = events[1];
  std::copy(events + 2, events + 6, p_->signals);
  return 0;
}

void TLineSocket::Close() {
  if (!IsOpen()) return;
  closesocket(p_->socket);  // also ends the socket's tie to its event
  p_->socket = INVALID_SOCKET;
  CloseEvent(p_->socketEvent);
  CloseEvent(p_->writableEvent);
  for (HANDLE& signal : p_->signals) {
    CloseEvent(signal);
  }
}

bool TLineSocket::IsOpen() const {
  return p_->socket != INVALID_SOCKET;
}

TReceived TLineSocket::Receive(std::uint8_t* buffer, std::size_t size) {
  // Collecting the network events resets the socket's event; the caller receives until nothing
  // is left, so only room to send needs passing on.
  WSANETWORKEVENTS network{};
  if (WSAEnumNetworkEvents(p_->socket, p_->socketEvent, &network) == 0 &&
      (network.lNetworkEvents & FD_WRITE) != 0) {
    SetEvent(p_->writableEvent);
  }
  const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
  const int n = recv(p_->socket, reinterpret_cast<char*>(buffer), chunk, 0);
  if (n > 0) return {static_cast<std::size_t>(n), false, 0};
  if (n == 0) return {0, true, 0};
  const int e = WSAGetLastError();
  return {0, false, e == WSAEWOULDBLOCK ? 0 : e};
}

int TLineSocket::SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
                         std::size_t& sent) {
  sent = 0;
  while (sent < count) {
    ResetEvent(p_->writableEvent);  // before the send, so that room made after it is seen
    const int chunk = static_cast<int>(std::min<std::size_t>(count - sent, 1 << 20));
    const int n = send(p_->socket, reinterpret_cast<const char*>(bytes + sent), chunk, 0);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) return WSAGetLastError();
    const HANDLE handles[3] = {p_->Signal(TSignal::Abort), p_->writableEvent, p_->socketEvent};
    const int woken = WaitAny(handles, 3, deadline);
    if (woken == 0) return ERROR_OPERATION_ABORTED;
    if (woken == kWaitTimedOut) return WSAETIMEDOUT;
    if (woken == kWaitFailed) return static_cast<int>(GetLastError());
    if (woken == 2) p_->PassOnArrivals();
  }
  return 0;
}

void TLineSocket::Raise(TSignal signal) {
  SetEvent(p_->Signal(signal));
}

void TLineSocket::Clear(TSignal signal) {
  ResetEvent(p_->Signal(signal));
}

TWoken TLineSocket::Wait(TSignal signal, const TStopSignal* stop, const Deadline& deadline,
                         int& error) {
  const HANDLE first =
      stop != nullptr ? reinterpret_cast<HANDLE>(stop->Native()) : p_->Signal(TSignal::Abort);
  const HANDLE handles[3] = {first, p_->socketEvent, p_->Signal(signal)};
  switch (WaitAny(handles, 3, deadline)) {
    case 0:
      return stop != nullptr ? TWoken::Stopped : TWoken::Aborted;
    case 1:
      return TWoken::Readable;
    case 2:
      return TWoken::Signalled;
    case kWaitTimedOut:
      return TWoken::TimedOut;
    default:
      error = static_cast<int>(GetLastError());
      return TWoken::Failed;
  }
}

}  // namespace network
