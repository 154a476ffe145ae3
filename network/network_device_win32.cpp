// A line through a serial device server, on Winsock: a TCP connection to the server, with the
// telnet COM-port-control option (rfc2217://) or as the raw byte stream (tcp://). It behaves as
// a local port without modem lines, as network_device_linux.cpp does; the protocol is the shared
// session (network_session.h) and only the waits differ. The socket signals one event
// (WSAEventSelect: data, room to send, closed), which every wait holds in one
// WaitForMultipleObjects beside the abort event (transfers) or the stop signal (the monitor).
//
// The socket's event is manual-reset and reset by whoever collects its network events, so each
// collector passes them on: a pump (under rxMutex_) receives everything and raises dataEvent_
// (a Read), kickEvent_ (the monitor) and answerEvent_ (a wait for the server's answers) for the
// others; SendAll, waiting for room, raises those three when data came meanwhile, and a pump
// that finds room raises writableEvent_ for SendAll. So no wait wakes over and over on an
// event that nobody resets: the monitor sleeps while the line is silent.
//
// Error codes (GetLastError and WSAGetLastError values): ERROR_INVALID_NAME a malformed name;
// WSAHOST_NOT_FOUND a host name that does not resolve; WSAECONNREFUSED, WSAENETUNREACH,
// WSAEHOSTUNREACH as connect gives them; WSAETIMEDOUT a connect that does not complete in
// kConnectMs or a setting the server does not confirm in kConfirmMs; WSAEPROTONOSUPPORT a server
// that refuses the COM-port option; ERROR_BAD_NET_RESP one that never answers it;
// ERROR_INVALID_PARAMETER a rate answered other than asked; ERROR_GEN_FAILURE (as a USB adapter
// pulled out gives it), WSAECONNRESET, WSAECONNABORTED the server has closed the connection;
// ERROR_OPERATION_ABORTED a transfer ended by the abort.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before windows.h.
#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>

#include "network/network_port_name.h"
#include "network/network_session.h"
#include "serial/device_layer.h"
#include "serial/read_timeouts.h"
#include "system/stop_signal.h"

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;
using telnet::Bytes;
using namespace network;

constexpr int kClosed = ERROR_GEN_FAILURE;

Deadline AfterMs(std::uint64_t ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}

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

HANDLE NewManualResetEvent() {
  return CreateEventA(nullptr, TRUE, FALSE, nullptr);
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

class TNetworkDevice final : public TDeviceLayer {
 public:
  ~TNetworkDevice() override { Close(); }

  int Open(const std::string& portName) override;
  void Close() override;
  bool IsOpen() const override { return socket_ != INVALID_SOCKET; }
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
    return IsOpen() ? 0 : kNotOpen;
  }
  int ModemSignals(TModemSignals& signals) override {
    signals = {};  // as on a pseudo-terminal: no modem lines, all signals off
    return IsOpen() ? 0 : kNotOpen;
  }
  int AbortTransfers() override;
  int DiscardQueues() override;
  int BeginMonitoring(TComEvents mask) override;
  TWaitOutcome WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) override;
  void EndMonitoring() override {}

 private:
  static constexpr int kNotOpen = ERROR_INVALID_HANDLE;

  // Takes what the socket holds without blocking and decodes it. Caller holds rxMutex_.
  void PumpLocked(bool fromMonitor);
  // Sends every byte or fails: the abort and the deadline end it (WSAETIMEDOUT,
  // ERROR_OPERATION_ABORTED).
  int SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
              std::size_t* sent = nullptr);
  // Waits, pumping, until done() holds (under rxMutex_), the deadline passes or the connection
  // ends. Returns 0, WSAETIMEDOUT, or the connection's error. Owner's thread only.
  template <typename Done>
  int WaitFor(Done done, const Deadline& deadline);
  int Negotiate();

  TNetworkProtocol protocol_ = TNetworkProtocol::Raw;
  SOCKET socket_ = INVALID_SOCKET;
  HANDLE socketEvent_ = nullptr;    // the socket's network events
  HANDLE abortEvent_ = nullptr;     // raised by AbortTransfers until Close
  HANDLE dataEvent_ = nullptr;      // data decoded: wakes a Read
  HANDLE kickEvent_ = nullptr;      // data decoded by another thread, or a write done: the monitor
  HANDLE answerEvent_ = nullptr;    // something came from the server: wakes WaitFor
  HANDLE writableEvent_ = nullptr;  // room to send again: wakes SendAll
  std::atomic<bool> aborted_{false};

  std::mutex sendMutex_;  // one writer on the socket at a time; taken after rxMutex_, never before

  std::mutex rxMutex_;  // guards everything below
  TSession session_;
  int connectionError_ = 0;  // the server closed the connection or it failed
  TTimeoutSettings timeouts_;
  int inputSize_ = 1024;
  int outputSize_ = 1024;

  // Monitor side, touched by the monitor thread only (and BeginMonitoring).
  TComEvents mask_;
  std::uint64_t reportedArrived_ = 0;
  std::atomic<bool> txEmptyWanted_{false};
  std::atomic<bool> txPending_{false};
};

int TNetworkDevice::Open(const std::string& portName) {
  if (IsOpen()) return ERROR_BUSY;
  const std::optional<TNetworkPortName> name = ParseNetworkPortName(portName);
  if (!name) return ERROR_INVALID_NAME;
  if (const int e = StartWinsock(); e != 0) return e;
  protocol_ = name->protocol;

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(name->port);
  if (const int gai = getaddrinfo(name->host.c_str(), service.c_str(), &hints, &found); gai != 0) {
    if (gai == EAI_MEMORY) return WSA_NOT_ENOUGH_MEMORY;
    return WSAHOST_NOT_FOUND;  // the name does not resolve (or the resolver cannot be reached)
  }

  HANDLE events[6] = {};
  for (HANDLE& event : events)
    event = NewManualResetEvent();
  const auto closeEvents = [&] {
    for (HANDLE& event : events)
      CloseEvent(event);
  };
  if (std::find(std::begin(events), std::end(events), nullptr) != std::end(events)) {
    const int e = static_cast<int>(GetLastError());
    freeaddrinfo(found);
    closeEvents();
    return e;
  }
  const Deadline deadline = AfterMs(kConnectMs);
  int error = WSAEHOSTUNREACH;
  SOCKET s = INVALID_SOCKET;
  for (const addrinfo* ai = found; ai != nullptr && s == INVALID_SOCKET; ai = ai->ai_next) {
    s = ConnectOne(*ai, events[0], deadline, error);
  }
  freeaddrinfo(found);
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
  {
    std::lock_guard lock(rxMutex_);
    session_.Reset(protocol_);
    connectionError_ = 0;
  }
  aborted_.store(false);
  socket_ = s;
  socketEvent_ = events[0];
  abortEvent_ = events[1];
  dataEvent_ = events[2];
  kickEvent_ = events[3];
  answerEvent_ = events[4];
  writableEvent_ = events[5];
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
  const Deadline deadline = AfterMs(kNegotiationMs);
  if (const int e = SendAll(offer.data(), offer.size(), deadline); e != 0) return e;
  const int e =
      WaitFor([this] { return session_.ComPortAgreed() || session_.ComPortRefused(); }, deadline);
  if (e == WSAETIMEDOUT) return ERROR_BAD_NET_RESP;
  if (e != 0) return e;
  std::lock_guard lock(rxMutex_);
  return session_.ComPortAgreed() ? 0 : WSAEPROTONOSUPPORT;
}

void TNetworkDevice::Close() {
  if (!IsOpen()) return;
  closesocket(socket_);  // also ends the socket's tie to its event
  socket_ = INVALID_SOCKET;
  for (HANDLE* event :
       {&socketEvent_, &abortEvent_, &dataEvent_, &kickEvent_, &answerEvent_, &writableEvent_}) {
    CloseEvent(*event);
  }
}

void TNetworkDevice::PumpLocked(bool fromMonitor) {
  if (connectionError_ != 0) return;
  // Collecting the network events resets the socket's event; what follows reads everything
  // that came, so only room to send needs passing on.
  WSANETWORKEVENTS network{};
  if (WSAEnumNetworkEvents(socket_, socketEvent_, &network) == 0 &&
      (network.lNetworkEvents & FD_WRITE) != 0) {
    SetEvent(writableEvent_);
  }
  char buffer[4096];
  const std::uint64_t before = session_.Arrived();
  bool received = false;
  for (;;) {
    const int n = recv(socket_, buffer, sizeof buffer, 0);
    if (n > 0) {
      session_.Received(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(n));
      received = true;
      continue;
    }
    if (n == 0) {
      connectionError_ = kClosed;  // the server closed the connection: as an adapter pulled out
      break;
    }
    const int e = WSAGetLastError();
    if (e != WSAEWOULDBLOCK) connectionError_ = e;
    break;
  }
  if (const Bytes answers = session_.TakeAnswers(); !answers.empty()) {
    SendAll(answers.data(), answers.size(), AfterMs(kConfirmMs));
  }
  if (received || connectionError_ != 0) SetEvent(answerEvent_);
  if (session_.Arrived() != before || connectionError_ != 0) {
    SetEvent(dataEvent_);
    if (!fromMonitor) SetEvent(kickEvent_);
  }
}

int TNetworkDevice::SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
                            std::size_t* sent) {
  std::lock_guard lock(sendMutex_);
  std::size_t done = 0;
  int error = 0;
  while (done < count) {
    ResetEvent(writableEvent_);  // before the send, so that room made after it is seen
    const int chunk = static_cast<int>(std::min<std::size_t>(count - done, 1 << 20));
    const int n = send(socket_, reinterpret_cast<const char*>(bytes + done), chunk, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) {
      error = WSAGetLastError();
      break;
    }
    const HANDLE handles[3] = {abortEvent_, writableEvent_, socketEvent_};
    const int woken = WaitAny(handles, 3, deadline);
    if (woken == 0) {
      error = ERROR_OPERATION_ABORTED;
      break;
    }
    if (woken == kWaitTimedOut) {
      error = WSAETIMEDOUT;
      break;
    }
    if (woken == kWaitFailed) {
      error = static_cast<int>(GetLastError());
      break;
    }
    if (woken == 2) {
      // The socket's events collected here: data or a close is passed on to the other waits.
      WSANETWORKEVENTS network{};
      if (WSAEnumNetworkEvents(socket_, socketEvent_, &network) == 0 &&
          (network.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0) {
        SetEvent(dataEvent_);
        SetEvent(kickEvent_);
        SetEvent(answerEvent_);
      }
    }
  }
  if (sent != nullptr) *sent = done;
  return error;
}

template <typename Done>
int TNetworkDevice::WaitFor(Done done, const Deadline& deadline) {
  for (;;) {
    ResetEvent(answerEvent_);  // before looking, so that an answer decoded later wakes the wait
    {
      std::lock_guard lock(rxMutex_);
      PumpLocked(false);
      if (done()) return 0;
      if (connectionError_ != 0) return connectionError_;
    }
    const HANDLE handles[3] = {abortEvent_, socketEvent_, answerEvent_};
    const int woken = WaitAny(handles, 3, deadline);
    if (woken == 0) return ERROR_OPERATION_ABORTED;
    if (woken == kWaitFailed) return static_cast<int>(GetLastError());
    if (woken == kWaitTimedOut) {
      std::lock_guard lock(rxMutex_);
      PumpLocked(false);
      return done() ? 0 : WSAETIMEDOUT;
    }
  }
}

int TNetworkDevice::ApplyLineSettings(const TLineSettings& settings) {
  if (!IsOpen()) return kNotOpen;
  // A raw line keeps the rate and framing set at the server.
  if (protocol_ == TNetworkProtocol::Raw) return 0;

  TSettingsRequest request;
  {
    std::lock_guard lock(rxMutex_);
    PumpLocked(false);
    request = session_.SettingsRequest(settings);
  }
  const Deadline deadline = AfterMs(kConfirmMs);
  if (const int e = SendAll(request.bytes.data(), request.bytes.size(), deadline); e != 0) return e;
  // The rate and framing must be in force before the next request is sent.
  if (const int e = WaitFor([&] { return session_.Framed(request); }, deadline); e != 0) return e;
  {
    std::lock_guard lock(rxMutex_);
    // Another rate than asked for did not reach the line.
    if (!session_.RateAsAsked(request)) return ERROR_INVALID_PARAMETER;
    if (session_.ControlWaitSpent()) return 0;
  }
  const int e =
      WaitFor([&] { return session_.ControlsConfirmed(request); }, AfterMs(kControlConfirmMs));
  if (e == WSAETIMEDOUT) {
    std::lock_guard lock(rxMutex_);
    session_.SpendControlWait();
    return 0;
  }
  return e;
}

TIoResult TNetworkDevice::Write(const void* buffer, int count) {
  if (!IsOpen()) return {0, kNotOpen};
  if (count <= 0) return {0, 0};
  if (aborted_.load()) return {0, ERROR_OPERATION_ABORTED};
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
  result.error = e == WSAETIMEDOUT ? 0 : e;  // the write time-outs expired: fewer bytes, no error
  result.count = session_.DataBytesSent(bytes, count, sent);  // a doubled 0xFF counts once
  if (result.count > 0 && txEmptyWanted_.load()) {
    txPending_.store(true);
    SetEvent(kickEvent_);
  }
  return result;
}

TIoResult TNetworkDevice::Read(void* buffer, int count) {
  if (!IsOpen()) return {0, kNotOpen};
  if (count <= 0) return {0, 0};
  if (aborted_.load()) return {0, ERROR_OPERATION_ABORTED};
  TTimeoutSettings t;
  {
    std::lock_guard lock(rxMutex_);
    t = timeouts_;
  }
  // The read time-outs as a local port carries them out.
  const TReadTimeouts plan = ReadTimeoutsOf(t, count);
  const bool takeWhatIsThere = plan.mode == TReadMode::Immediate;
  const bool returnOnFirst = plan.mode == TReadMode::FirstBytes;
  Deadline total;
  if (plan.totalMs) total = AfterMs(*plan.totalMs);

  auto* bytes = static_cast<std::uint8_t*>(buffer);
  TIoResult result;
  Deadline interval;
  while (result.count < count) {
    ResetEvent(dataEvent_);  // before looking at the queue, so that a later arrival wakes the wait
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
    const HANDLE handles[3] = {abortEvent_, socketEvent_, dataEvent_};
    const int woken = WaitAny(handles, 3, deadline);
    if (woken == 0) {
      result.error = ERROR_OPERATION_ABORTED;
      break;
    }
    if (woken == kWaitFailed) {
      result.error = static_cast<int>(GetLastError());
      break;
    }
    if (woken == kWaitTimedOut) break;  // silence after the last byte, or the total time-out
  }
  return result;
}

int TNetworkDevice::InputQueueCount(int& count) {
  count = 0;
  if (!IsOpen()) return kNotOpen;
  std::lock_guard lock(rxMutex_);
  PumpLocked(false);
  count = static_cast<int>(session_.Input().size());
  return 0;
}

int TNetworkDevice::AbortTransfers() {
  if (!IsOpen()) return 0;
  aborted_.store(true);
  SetEvent(abortEvent_);
  return 0;
}

int TNetworkDevice::DiscardQueues() {
  if (!IsOpen()) return kNotOpen;
  {
    std::lock_guard lock(rxMutex_);
    PumpLocked(false);
    session_.Input().clear();
    if (connectionError_ != 0) return 0;
  }
  if (protocol_ == TNetworkProtocol::Raw || aborted_.load()) return 0;
  // The server's buffers towards and from the line are dropped as well.
  const Bytes purge = TSession::PurgeRequest();
  const int e = SendAll(purge.data(), purge.size(), AfterMs(kConfirmMs));
  return e == WSAECONNRESET || e == WSAECONNABORTED || e == WSAESHUTDOWN ? 0 : e;
}

int TNetworkDevice::BeginMonitoring(TComEvents mask) {
  if (!IsOpen()) return kNotOpen;
  ResetEvent(kickEvent_);
  mask_ = mask;
  {
    std::lock_guard lock(rxMutex_);
    // What waits already is reported at the first wait.
    reportedArrived_ = session_.Arrived() - session_.Input().size();
  }
  txPending_.store(false);
  txEmptyWanted_.store(mask.Has(evTxEmpty));
  return 0;
}

TWaitOutcome TNetworkDevice::WaitForEvents(const TStopSignal& stop, TComEvents& events,
                                           int& error) {
  const HANDLE stopEvent = reinterpret_cast<HANDLE>(stop.Native());
  events = {};
  error = 0;
  for (;;) {
    if (WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) return TWaitOutcome::Stopped;
    ResetEvent(kickEvent_);  // before looking, so that a later kick wakes the wait below
    TComEvents found;
    bool gone = false;
    {
      std::lock_guard lock(rxMutex_);
      PumpLocked(true);
      // Data decoded since the last report, by this thread or another one.
      const std::deque<std::uint8_t>& input = session_.Input();
      if (session_.Arrived() != reportedArrived_ && !input.empty()) {
        found.Include(evRxChar);
        const int waiting = static_cast<int>(input.size());
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
    const HANDLE handles[3] = {stopEvent, socketEvent_, kickEvent_};
    const int woken = WaitAny(handles, 3, std::nullopt);
    if (woken == 0) return TWaitOutcome::Stopped;
    if (woken < 0) {
      error = static_cast<int>(GetLastError());
      return TWaitOutcome::Failed;
    }
  }
}

}  // namespace

std::unique_ptr<TDeviceLayer> MakeNetworkDevice() {
  return std::make_unique<TNetworkDevice>();
}
