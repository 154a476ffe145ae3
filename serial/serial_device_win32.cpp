// The Windows side of a serial port: the communications calls themselves. The device is opened
// for overlapped I/O; every transfer has its own completion event and waits on it together with
// the opening's abort event, so a ClosePort releases a blocked read whatever the driver does
// with the purge. Error codes are GetLastError values.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

#include "serial/device_layer.h"
#include "serial/line_settings_win32.h"
#include "serial/read_timeouts.h"
#include "serial/serial_device.h"
#include "system/stop_signal.h"

namespace {

int LastError() {
  return static_cast<int>(GetLastError());
}

// Owns an event handle until released.
class EventHandle {
 public:
  explicit EventHandle(HANDLE handle) : handle_(handle) {}
  ~EventHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, nullptr); }

 private:
  HANDLE handle_;
};

// The bound of a read that takes bytes the input queue already holds.
constexpr DWORD kQueuedReadBoundMs = 50;

HANDLE NewManualResetEvent() {
  return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

struct EventBit {
  TComEvent event;
  DWORD mask;
};

// TComEvent and the port's event-mask bits, one table for both directions.
constexpr EventBit kEventBits[] = {
    {evRxChar, EV_RXCHAR}, {evTxEmpty, EV_TXEMPTY},   {evRxFlag, EV_RXFLAG}, {evRing, EV_RING},
    {evBreak, EV_BREAK},   {evCTS, EV_CTS},           {evDSR, EV_DSR},       {evError, EV_ERR},
    {evRLSD, EV_RLSD},     {evRx80Full, EV_RX80FULL},
};

DWORD EventMask(TComEvents events) {
  DWORD mask = 0;
  for (const EventBit& bit : kEventBits) {
    if (events.Has(bit.event)) mask |= bit.mask;
  }
  return mask;
}

TComEvents EventsOf(DWORD mask) {
  TComEvents events;
  for (const EventBit& bit : kEventBits) {
    if ((mask & bit.mask) != 0) events.Include(bit.event);
  }
  return events;
}

TComErrors ErrorsOf(DWORD flags, bool parityCheck) {
  TComErrors errors;
  if (flags & CE_FRAME) errors.Include(ceFrame);
  if ((flags & CE_RXPARITY) && parityCheck) errors.Include(ceRxParity);
  if (flags & CE_OVERRUN) errors.Include(ceOverrun);
  if (flags & CE_BREAK) errors.Include(ceBreak);
  if (flags & CE_IOE) errors.Include(ceIO);
  if (flags & CE_MODE) errors.Include(ceMode);
  if (flags & CE_RXOVER) errors.Include(ceRxOver);
  if (flags & CE_TXFULL) errors.Include(ceTxFull);
  return errors;
}

}  // namespace

struct TOsDevice::Platform {
  HANDLE port = INVALID_HANDLE_VALUE;
  HANDLE abortEvent = nullptr;           // manual-reset, raised by AbortTransfers until Close
  std::atomic<bool> parityCheck{false};  // of the line settings in force, for the error query

  // The two special read modes (read_timeouts.h) are carried out here, not left to the
  // driver: the port's time-outs are then 0, 0 and a constant, and a read asks the driver only
  // for one byte under that plain total time-out and for what the input queue already holds.
  // Drivers differ in those modes (wine's waits for the whole count, for ever), a plain total
  // time-out every driver keeps. Touched by the thread that reads.
  TReadMode readMode = TReadMode::Bounded;

  // Monitor side, touched only by the monitor thread (and by Begin/EndMonitoring while no
  // monitor waits). The OVERLAPPED of a pending event wait must live until the wait has ended.
  struct Monitor {
    DWORD wanted = 0;
    HANDLE completion = nullptr;
    OVERLAPPED overlapped{};
    DWORD mask = 0;
    bool pending = false;
    int fetchFailures = 0;
  };
  std::unique_ptr<Monitor> monitor;

  // One overlapped transfer: started, then waited for together with the abort event. An aborted
  // transfer is cancelled and collected before its buffer and record go out of scope.
  TIoResult Transfer(bool isWrite, void* buffer, int count) {
    if (port == INVALID_HANDLE_VALUE) return {0, ERROR_INVALID_HANDLE};
    if (count <= 0) return {0, 0};
    if (WaitForSingleObject(abortEvent, 0) == WAIT_OBJECT_0) return {0, ERROR_OPERATION_ABORTED};
    EventHandle completion(NewManualResetEvent());
    if (completion.get() == nullptr) return {0, LastError()};
    OVERLAPPED overlapped{};
    overlapped.hEvent = completion.get();
    const auto size = static_cast<DWORD>(count);
    const BOOL started = isWrite ? WriteFile(port, buffer, size, nullptr, &overlapped)
                                 : ReadFile(port, buffer, size, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) return {0, LastError()};
    HANDLE handles[2] = {completion.get(), abortEvent};
    const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (woken != WAIT_OBJECT_0) CancelIoEx(port, &overlapped);
    DWORD done = 0;
    if (!GetOverlappedResult(port, &overlapped, &done, TRUE)) {
      return {static_cast<int>(done), LastError()};
    }
    return {static_cast<int>(done), 0};
  }

  // A read in one of the two special modes. "Immediate" reads what the input queue holds;
  // "FirstBytes" first waits for one byte for at most the total constant, and adds what came
  // with it. Either way the last read asks only for bytes that are already there.
  TIoResult ReadSpecialMode(void* buffer, int count) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    TIoResult result;
    if (readMode == TReadMode::FirstBytes) {
      result = Transfer(false, bytes, 1);
      if (result.error == ERROR_TIMEOUT) result.error = 0;
      if (result.error != 0 || result.count == 0) return result;
    }
    DWORD flags = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &flags, &status)) return {result.count, LastError()};
    const int more = std::min(static_cast<int>(status.cbInQue), count - result.count);
    if (more <= 0) return result;
    const TIoResult rest = Transfer(false, bytes + result.count, more);
    return {result.count + rest.count, rest.error == ERROR_TIMEOUT ? 0 : rest.error};
  }

  // Ends an event wait still pending: a zero mask ends it on Windows; the cancel covers drivers
  // that do not. Then the wait is collected, so its record may go.
  void EndPendingWait() {
    if (!monitor || !monitor->pending) return;
    CancelIoEx(port, &monitor->overlapped);
    DWORD unused = 0;
    GetOverlappedResult(port, &monitor->overlapped, &unused, TRUE);
    monitor->pending = false;
  }
};

TOsDevice::TOsDevice() : p_(std::make_unique<Platform>()) {}

TOsDevice::~TOsDevice() {
  Close();
}

std::string TSerialDevice::PathOf(const std::string& portName) {
  if (portName.find_first_of("\\/") != std::string::npos) return portName;
  return "\\\\.\\" + portName;
}

bool TOsDevice::IsOpen() const {
  return p_->port != INVALID_HANDLE_VALUE;
}

int TOsDevice::Open(const std::string& portName) {
  if (IsOpen()) return ERROR_BUSY;
  // Exclusive (no sharing), existing device only, overlapped I/O.
  HANDLE port = CreateFileA(TSerialDevice::PathOf(portName).c_str(), GENERIC_READ | GENERIC_WRITE,
                            0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) return LastError();
  EventHandle abortEvent(NewManualResetEvent());
  if (abortEvent.get() == nullptr) {
    const int error = LastError();
    CloseHandle(port);
    return error;
  }
  // Drop DTR and RTS at once: the device bus must not see lines that an earlier user left
  // raised. A port without modem lines refuses; that is no failure.
  EscapeCommFunction(port, CLRDTR);
  EscapeCommFunction(port, CLRRTS);
  p_->port = port;
  p_->abortEvent = abortEvent.release();
  return 0;
}

void TOsDevice::Close() {
  if (!IsOpen()) return;
  EndMonitoring();
  // Discard unsent output so that closing does not wait for a line that may never drain.
  PurgeComm(p_->port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  CloseHandle(p_->port);
  CloseHandle(p_->abortEvent);
  p_->port = INVALID_HANDLE_VALUE;
  p_->abortEvent = nullptr;
}

int TOsDevice::SetQueueSizes(int inputSize, int outputSize) {
  if (!SetupComm(p_->port, static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize))) {
    return LastError();
  }
  return 0;
}

int TOsDevice::ApplyLineSettings(const TLineSettings& s) {
  DCB dcb = LineSettingsToDcb(s);
  if (!SetCommState(p_->port, &dcb)) return LastError();
  p_->parityCheck.store(s.parityCheck);
  return 0;
}

int TOsDevice::SetTimeouts(const TTimeoutSettings& t) {
  COMMTIMEOUTS timeouts{t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                        t.writeTotalMultiplier, t.writeTotalConstant};
  const TReadMode mode = ReadTimeoutsOf(t, 0).mode;
  if (mode != TReadMode::Bounded) {
    // A plain total time-out for the reads of ReadSpecialMode: the constant for the first byte,
    // and a short bound for taking bytes already queued (they come at once; the bound only
    // keeps a queue emptied meanwhile by a purge from holding the read for ever).
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    if (mode == TReadMode::Immediate) timeouts.ReadTotalTimeoutConstant = kQueuedReadBoundMs;
  }
  if (!SetCommTimeouts(p_->port, &timeouts)) return LastError();
  p_->readMode = mode;
  return 0;
}

TIoResult TOsDevice::Write(const void* buffer, int count) {
  // WriteFile does not write through the pointer; the one transfer routine takes it non-const.
  return p_->Transfer(true, const_cast<void*>(buffer), count);
}

TIoResult TOsDevice::Read(void* buffer, int count) {
  if (p_->readMode != TReadMode::Bounded && count > 0) return p_->ReadSpecialMode(buffer, count);
  TIoResult result = p_->Transfer(false, buffer, count);
  // A read that its time-outs end is complete with the bytes it got, none perhaps: Windows
  // reports it as success. Wine fails it with ERROR_TIMEOUT instead, with the bytes it got in
  // the count; that is the same outcome, not a failure of the port.
  if (result.error == ERROR_TIMEOUT) result.error = 0;
  return result;
}

int TOsDevice::InputQueueCount(int& count) {
  count = 0;
  DWORD flags = 0;
  COMSTAT status{};
  if (!ClearCommError(p_->port, &flags, &status)) return LastError();
  count = static_cast<int>(status.cbInQue);
  return 0;
}

int TOsDevice::ReadErrors(TComErrors& errors) {
  errors = {};
  DWORD flags = 0;
  COMSTAT status{};
  if (!ClearCommError(p_->port, &flags, &status)) return LastError();
  errors = ErrorsOf(flags, p_->parityCheck.load());
  return 0;
}

int TOsDevice::ModemSignals(TModemSignals& signals) {
  signals = {};
  DWORD status = 0;
  if (!GetCommModemStatus(p_->port, &status)) return LastError();
  signals.cts = (status & MS_CTS_ON) != 0;
  signals.dsr = (status & MS_DSR_ON) != 0;
  signals.ring = (status & MS_RING_ON) != 0;
  signals.rlsd = (status & MS_RLSD_ON) != 0;
  return 0;
}

int TOsDevice::AbortTransfers() {
  if (!IsOpen()) return 0;
  if (!PurgeComm(p_->port, PURGE_TXABORT | PURGE_RXABORT)) return LastError();
  // The event also fails transfers started from now on, and those the purge did not reach.
  SetEvent(p_->abortEvent);
  return 0;
}

int TOsDevice::DiscardQueues() {
  if (!PurgeComm(p_->port, PURGE_TXCLEAR | PURGE_RXCLEAR)) return LastError();
  return 0;
}

// ---- Monitor side

int TOsDevice::BeginMonitoring(TComEvents mask) {
  if (!IsOpen()) return ERROR_INVALID_HANDLE;
  auto monitor = std::make_unique<Platform::Monitor>();
  monitor->wanted = EventMask(mask);
  monitor->completion = NewManualResetEvent();
  if (monitor->completion == nullptr) return LastError();
  if (!SetCommMask(p_->port, monitor->wanted)) {
    const int error = LastError();
    CloseHandle(monitor->completion);
    return error;
  }
  p_->monitor = std::move(monitor);
  return 0;
}

void TOsDevice::EndMonitoring() {
  if (!p_->monitor) return;
  SetCommMask(p_->port, 0);
  p_->EndPendingWait();
  CloseHandle(p_->monitor->completion);
  p_->monitor.reset();
}

TWaitOutcome TOsDevice::WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) {
  events = {};
  error = 0;
  Platform::Monitor& m = *p_->monitor;
  HANDLE stopEvent = reinterpret_cast<HANDLE>(stop.Native());
  for (;;) {
    // A wait that completes at once skips the wait below; the stop must still be seen.
    if (WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) return TWaitOutcome::Stopped;
    m.mask = 0;
    m.overlapped = OVERLAPPED{};
    m.overlapped.hEvent = m.completion;
    ResetEvent(m.completion);
    if (!WaitCommEvent(p_->port, &m.mask, &m.overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) {
        // Refused at once (the device has gone): waiting again would only spin.
        error = LastError();
        return TWaitOutcome::Failed;
      }
      m.pending = true;
      HANDLE handles[2] = {stopEvent, m.completion};
      const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
      if (woken == WAIT_OBJECT_0) return TWaitOutcome::Stopped;  // EndMonitoring ends the wait
      if (woken != WAIT_OBJECT_0 + 1) {
        error = LastError();
        return TWaitOutcome::Failed;
      }
      DWORD unused = 0;
      const BOOL fetched = GetOverlappedResult(p_->port, &m.overlapped, &unused, FALSE);
      m.pending = false;
      if (!fetched) {
        // An outcome that cannot be fetched dispatches nothing and the loop waits again; a
        // second one in a row means every wait fails, and the monitor ends instead of spinning.
        error = LastError();
        if (++m.fetchFailures > 1) return TWaitOutcome::Failed;
        continue;
      }
    }
    m.fetchFailures = 0;
    events = EventsOf(m.mask);
    return TWaitOutcome::Events;
  }
}
