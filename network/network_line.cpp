// A line through a serial device server: a TCP connection to the server, with the telnet
// COM-port-control option (rfc2217://) or as the raw byte stream (tcp://). It behaves as a local
// port without modem lines: the read time-outs, the abort and the monitor's events are those of
// the system's port, over the socket and signals of network_socket.h.
//
// Everything the server sends goes through one session (network_session.h) under rxMutex_:
// data bytes into its input queue, negotiations answered, answers to the settings counted.
// Whichever thread finds the socket readable decodes it (Read, InputQueueCount, the monitor, a
// settings change waiting for its confirmation) and wakes the others through the signals.
//
// Error codes (kLineErrors, in the system's numbers): invalidName a malformed name; timedOut a
// connect that does not complete in kConnectMs or a setting the server does not confirm in
// kConfirmMs; optionRefused a server that refuses the COM-port option, optionUnanswered one that
// never answers it; rateRefused a rate answered other than asked; closed and the connection's
// own errors the server has closed the connection; aborted a transfer ended by the abort. A
// host name that does not resolve and a refused connect give the system's codes for them.
#include "network/network_line.h"

#include <atomic>
#include <deque>
#include <mutex>

#include "network/network_port_name.h"
#include "network/network_session.h"
#include "network/network_socket.h"
#include "serial/device_layer.h"
#include "serial/read_timeouts.h"

namespace {

using telnet::Bytes;
using namespace network;

class TNetworkLine final : public TDeviceLayer {
 public:
  ~TNetworkLine() override { Close(); }

  int Open(const std::string& portName) override;
  void Close() override { socket_.Close(); }
  bool IsOpen() const override { return socket_.IsOpen(); }
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
    return IsOpen() ? 0 : kLineErrors.notOpen;
  }
  int ModemSignals(TModemSignals& signals) override {
    signals = {};  // as on a pseudo-terminal: no modem lines, all signals off
    return IsOpen() ? 0 : kLineErrors.notOpen;
  }
  int AbortTransfers() override;
  int DiscardQueues() override;
  int BeginMonitoring(TComEvents mask) override;
  TWaitOutcome WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) override;
  void EndMonitoring() override {}

 private:
  // Takes what the socket holds without blocking and decodes it. Caller holds rxMutex_.
  void PumpLocked(bool fromMonitor);
  int SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
              std::size_t* sent = nullptr);
  // Waits, pumping, until done() holds (under rxMutex_), the deadline passes or the connection
  // ends. Returns 0, timedOut, or the connection's error. Owner's thread only.
  template <typename Done>
  int WaitFor(Done done, const Deadline& deadline);
  int Negotiate();
  // The events that the input decoded since the last report makes, and whether the connection
  // has ended (error set) once that input has been reported. Monitor thread only.
  TComEvents InputEvents(bool& gone, int& error);

  TNetworkProtocol protocol_ = TNetworkProtocol::Raw;
  TLineSocket socket_;
  std::atomic<bool> aborted_{false};

  std::mutex sendMutex_;  // one writer on the socket at a time; taken after rxMutex_, never before

  std::mutex rxMutex_;  // guards everything below
  TServerSession session_;
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

int TNetworkLine::Open(const std::string& portName) {
  if (IsOpen()) return kLineErrors.busy;
  const std::optional<TNetworkPortName> name = ParseNetworkPortName(portName);
  if (!name) return kLineErrors.invalidName;
  if (const int e = socket_.Connect(*name, AfterMs(kConnectMs)); e != 0) return e;
  protocol_ = name->protocol;
  {
    std::lock_guard lock(rxMutex_);
    session_.Reset(protocol_);
    connectionError_ = 0;
  }
  aborted_.store(false);
  if (protocol_ == TNetworkProtocol::ComPortControl) {
    if (const int e = Negotiate(); e != 0) {
      Close();
      return e;
    }
  }
  return 0;
}

int TNetworkLine::Negotiate() {
  Bytes offer;
  {
    std::lock_guard lock(rxMutex_);
    offer = session_.Offer();
  }
  const Deadline deadline = AfterMs(kNegotiationMs);
  if (const int e = SendAll(offer.data(), offer.size(), deadline); e != 0) return e;
  const int e =
      WaitFor([this] { return session_.ComPortAgreed() || session_.ComPortRefused(); }, deadline);
  if (e == kLineErrors.timedOut) return kLineErrors.optionUnanswered;
  if (e != 0) return e;
  std::lock_guard lock(rxMutex_);
  return session_.ComPortAgreed() ? 0 : kLineErrors.optionRefused;
}

void TNetworkLine::PumpLocked(bool fromMonitor) {
  if (connectionError_ != 0) return;
  std::uint8_t buffer[4096];
  const std::uint64_t before = session_.Arrived();
  bool received = false;
  for (;;) {
    const TReceived r = socket_.Receive(buffer, sizeof buffer);
    if (r.count > 0) {
      session_.Received(buffer, r.count);
      received = true;
      continue;
    }
    if (r.closed) connectionError_ = kLineErrors.closed;
    if (r.error != 0) connectionError_ = r.error;
    break;
  }
  if (const Bytes answers = session_.TakeAnswers(); !answers.empty()) {
    SendAll(answers.data(), answers.size(), AfterMs(kConfirmMs));
  }
  // An answer that another thread's pump takes must still end a WaitFor.
  if (received || connectionError_ != 0) socket_.Raise(TSignal::Answer);
  if (session_.Arrived() != before || connectionError_ != 0) {
    socket_.Raise(TSignal::Data);
    if (!fromMonitor) socket_.Raise(TSignal::Kick);
  }
}

int TNetworkLine::SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
                          std::size_t* sent) {
  std::lock_guard lock(sendMutex_);
  std::size_t done = 0;
  const int e = socket_.SendAll(bytes, count, deadline, done);
  if (sent != nullptr) *sent = done;
  return e;
}

template <typename Done>
int TNetworkLine::WaitFor(Done done, const Deadline& deadline) {
  for (;;) {
    socket_.Clear(TSignal::Answer);
    {
      std::lock_guard lock(rxMutex_);
      PumpLocked(false);
      if (done()) return 0;
      if (connectionError_ != 0) return connectionError_;
    }
    int error = 0;
    switch (socket_.Wait(TSignal::Answer, nullptr, deadline, error)) {
      case TWoken::Aborted:
        return kLineErrors.aborted;
      case TWoken::Failed:
        return error;
      case TWoken::TimedOut: {
        std::lock_guard lock(rxMutex_);
        PumpLocked(false);
        return done() ? 0 : kLineErrors.timedOut;
      }
      default:
        break;
    }
  }
}

int TNetworkLine::ApplyLineSettings(const TLineSettings& settings) {
  if (!IsOpen()) return kLineErrors.notOpen;
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
    if (!session_.RateAsAsked(request)) return kLineErrors.rateRefused;
    if (session_.ControlWaitSpent()) return 0;
  }
  const int e =
      WaitFor([&] { return session_.ControlsConfirmed(request); }, AfterMs(kControlConfirmMs));
  if (e == kLineErrors.timedOut) {
    std::lock_guard lock(rxMutex_);
    session_.SpendControlWait();
    return 0;
  }
  return e;
}

TIoResult TNetworkLine::Write(const void* buffer, int count) {
  if (!IsOpen()) return {0, kLineErrors.notOpen};
  if (count <= 0) return {0, 0};
  if (aborted_.load()) return {0, kLineErrors.aborted};
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
  result.error =
      e == kLineErrors.timedOut ? 0 : e;  // the write time-outs expired: fewer bytes, no error
  result.count = session_.DataBytesSent(bytes, count, sent);  // a doubled 0xFF counts once
  if (result.count > 0 && txEmptyWanted_.load()) {
    txPending_.store(true);
    socket_.Raise(TSignal::Kick);
  }
  return result;
}

TIoResult TNetworkLine::Read(void* buffer, int count) {
  if (!IsOpen()) return {0, kLineErrors.notOpen};
  if (count <= 0) return {0, 0};
  if (aborted_.load()) return {0, kLineErrors.aborted};
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
    socket_.Clear(TSignal::Data);  // before looking at the queue, so a later arrival wakes the wait
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
    const TWoken woken = socket_.Wait(TSignal::Data, nullptr, deadline, error);
    if (woken == TWoken::Aborted) {
      result.error = kLineErrors.aborted;
      break;
    }
    if (woken == TWoken::Failed) {
      result.error = error;
      break;
    }
    if (woken == TWoken::TimedOut) break;  // silence after the last byte, or the total time-out
  }
  return result;
}

int TNetworkLine::InputQueueCount(int& count) {
  count = 0;
  if (!IsOpen()) return kLineErrors.notOpen;
  std::lock_guard lock(rxMutex_);
  PumpLocked(false);
  count = static_cast<int>(session_.Input().size());
  return 0;
}

int TNetworkLine::AbortTransfers() {
  if (!IsOpen()) return 0;
  aborted_.store(true);
  socket_.Raise(TSignal::Abort);
  return 0;
}

int TNetworkLine::DiscardQueues() {
  if (!IsOpen()) return kLineErrors.notOpen;
  {
    std::lock_guard lock(rxMutex_);
    PumpLocked(false);
    session_.Input().clear();
    if (connectionError_ != 0) return 0;
  }
  if (protocol_ == TNetworkProtocol::Raw || aborted_.load()) return 0;
  // The server's buffers towards and from the line are dropped as well; a connection that ended
  // meanwhile has no buffers left to drop.
  const Bytes purge = TServerSession::PurgeRequest();
  const int e = SendAll(purge.data(), purge.size(), AfterMs(kConfirmMs));
  for (const int gone : kLineErrors.gone) {
    if (e == gone) return 0;
  }
  return e;
}

int TNetworkLine::BeginMonitoring(TComEvents mask) {
  if (!IsOpen()) return kLineErrors.notOpen;
  socket_.Clear(TSignal::Kick);
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

TComEvents TNetworkLine::InputEvents(bool& gone, int& error) {
  TComEvents found;
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
  return found;
}

TWaitOutcome TNetworkLine::WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) {
  events = {};
  error = 0;
  for (;;) {
    // A stop comes before events that keep coming.
    int ignored = 0;
    if (socket_.Wait(TSignal::Kick, &stop, Clock::now(), ignored) == TWoken::Stopped) {
      return TWaitOutcome::Stopped;
    }
    socket_.Clear(TSignal::Kick);  // before looking, so that a later kick wakes the wait below
    bool gone = false;
    TComEvents found = InputEvents(gone, error);
    if (gone) return TWaitOutcome::Failed;
    // Bytes handed to the socket have left the program: the transmit queue is empty.
    if (txPending_.exchange(false)) found.Include(evTxEmpty);
    found = TComEvents::FromBits(found.Bits() & mask_.Bits());
    if (!found.Empty()) {
      events = found;
      return TWaitOutcome::Events;
    }
    switch (socket_.Wait(TSignal::Kick, &stop, std::nullopt, error)) {
      case TWoken::Stopped:
        return TWaitOutcome::Stopped;
      case TWoken::Failed:
        return TWaitOutcome::Failed;
      default:
        break;
    }
  }
}

std::unique_ptr<TDeviceLayer> MakeNetworkLine() {
  return std::make_unique<TNetworkLine>();
}

}  // namespace

void RegisterNetworkLines() {
  RegisterDeviceLayer(IsNetworkPortName, MakeNetworkLine);
}
