#include "serial/com_port.h"

#include <cerrno>
#include <system_error>

#include "serial/com_thread.h"
#include "serial/notification_window.h"
#include "serial/serial_device.h"
#include "system/main_thread_queue.h"

namespace {

// Time-outs pass unchanged; -1 (and any negative value) is the all-bits-set maximum.
std::uint32_t TimeoutValue(std::int32_t ms) {
  return static_cast<std::uint32_t>(ms);
}

int DataBitsCount(TDataBits bits) {
  return 5 + static_cast<int>(bits);
}

}  // namespace

TCustomComPort::TCustomComPort() : device_(std::make_unique<TSerialDevice>()) {
  parity_.owner_ = this;
  buffer_.owner_ = this;
  flowControl_.owner_ = this;
  timeouts_.owner_ = this;
}

TCustomComPort::~TCustomComPort() {
  try {
    ClosePort();
  } catch (...) {
    // A failed abort leaves the port open; the monitor is still stopped and the device closed,
    // since nothing may outlive the component.
  }
  StopMonitor();
  device_->Close();
  connected_ = false;
}

// ---- Opening and closing

void TCustomComPort::OpenPort() {
  if (connected_) return;
  DoBeforeOpen();
  CreateHandle();
  connected_ = true;
  try {
    ApplySettings();
    if (!events_.Empty()) {
      if (syncMethod_ == smWindowSync) window_ = std::make_shared<TNotificationWindow>();
      try {
        thread_ = std::make_unique<TComThread>(*this);
        thread_->Start();
      } catch (const std::system_error& e) {
        thread_.reset();
        // A monitor that cannot start leaves the port unusable as specified: report the opening
        // as failed, with the system's code.
        throw EComPort(CError_OpenFailed, e.code().value());
      }
    }
  } catch (...) {
    if (window_) window_->Destroy();
    window_.reset();
    DestroyHandle();
    connected_ = false;
    throw;
  }
  DoAfterOpen();
  if (OnCTSChange) DoCTSChange(QueryModemSignals().cts);
  if (OnDSRChange) DoDSRChange(QueryModemSignals().dsr);
  if (OnRLSDChange) DoRLSDChange(QueryModemSignals().rlsd);
}

void TCustomComPort::ClosePort() {
  if (!connected_) return;
  DoCTSChange(false);
  DoDSRChange(false);
  DoRLSDChange(false);
  DoBeforeClose();
  // Aborting first releases a ReadPort blocked on the monitor thread, so the monitor can end.
  const int error = device_->AbortTransfers();
  if (error != 0) throw EComPort(CError_PurgeFailed, error);
  StopMonitor();
  DestroyHandle();
  connected_ = false;
  DoAfterClose();
}

void TCustomComPort::StopMonitor() {
  if (thread_ && thread_->IsCurrentThread()) {
    // A handler on the monitor thread closes the port: the monitor cannot wait for itself. It
    // ends once that handler returns and frees itself.
    thread_.release()->Abandon();
  } else if (thread_) {
    thread_->Stop();
    // The monitor may be waiting for the main thread (smThreadSync, smWindowSync): keep serving
    // it until the monitor has left its loop, then join.
    const TComThread* monitor = thread_.get();
    ServeMainThreadQueueUntil([monitor] { return monitor->Finished(); });
    thread_.reset();
  }
  if (window_) {
    window_->Destroy();
    window_.reset();
  }
}

void TCustomComPort::CreateHandle() {
  const int error = device_->Open(port_);
  if (error != 0) throw EComPort(CError_OpenFailed, error);
}

void TCustomComPort::DestroyHandle() {
  device_->Close();
}

void TCustomComPort::ApplySettings() {
  ApplyBuffer();
  ApplyLineSettings();
  ApplyTimeouts();
}

void TCustomComPort::ApplyBuffer() {
  if (!CanApply()) return;
  const int error = device_->SetQueueSizes(buffer_.InputSize(), buffer_.OutputSize());
  if (error != 0) throw EComPort(CError_SetupComFailed, error);
}

void TCustomComPort::ApplyLineSettings() {
  if (!CanApply()) return;
  TLineSettings line;
  line.rate = BaudRateToBitsPerSecond(baudRate_, customBaudRate_);
  line.dataBits = DataBitsCount(dataBits_);
  line.parity = parity_.Bits();
  line.stopBits = stopBits_;
  line.parityCheck = parity_.Check();
  line.parityReplace = parity_.Check() && parity_.Replace();
  line.replaceChar = parity_.ReplaceChar();
  line.discardNull = discardNull_;
  line.outCTSFlow = flowControl_.OutCTSFlow();
  line.outDSRFlow = flowControl_.OutDSRFlow();
  line.controlDTR = flowControl_.ControlDTR();
  line.controlRTS = flowControl_.ControlRTS();
  line.xonXoffOut = flowControl_.XonXoffOut();
  line.xonXoffIn = flowControl_.XonXoffIn();
  line.dsrSensitivity = flowControl_.DSRSensitivity();
  line.txContinueOnXoff = flowControl_.TxContinueOnXoff();
  line.xonChar = flowControl_.XonChar();
  line.xoffChar = flowControl_.XoffChar();
  line.xonLimit = buffer_.InputSize() / 4;
  line.xoffLimit = buffer_.InputSize() / 4;
  line.eventChar = eventChar_;
  const int error = device_->ApplyLineSettings(line);
  if (error != 0) throw EComPort(CError_SetStateFailed, error);
}

void TCustomComPort::ApplyTimeouts() {
  if (!CanApply()) return;
  TTimeoutSettings t;
  t.readInterval = TimeoutValue(timeouts_.ReadInterval());
  t.readTotalMultiplier = TimeoutValue(timeouts_.ReadTotalMultiplier());
  t.readTotalConstant = TimeoutValue(timeouts_.ReadTotalConstant());
  t.writeTotalMultiplier = TimeoutValue(timeouts_.WriteTotalMultiplier());
  t.writeTotalConstant = TimeoutValue(timeouts_.WriteTotalConstant());
  const int error = device_->SetTimeouts(t);
  if (error != 0) throw EComPort(CError_TimeoutsFailed, error);
}

// ---- Transfers and queries

int TCustomComPort::WritePort(const void* buffer, int count) {
  const TIoResult result = device_->Write(buffer, count);
  if (result.error != 0) throw EComPort(CError_WriteFailed, result.error);
  return result.count;
}

int TCustomComPort::ReadPort(void* buffer, int count) {
  const TIoResult result = device_->Read(buffer, count);
  if (result.error != 0) throw EComPort(CError_ReadFailed, result.error);
  InputQueueCount();
  return result.count;
}

int TCustomComPort::InputQueueCount() {
  int count = 0;
  const int error = device_->InputQueueCount(count);
  if (error != 0) throw EComPort(CError_ClearComFailed, error);
  return count;
}

TComErrors TCustomComPort::QueryErrors() {
  TComErrors errors;
  const int error = device_->ReadErrors(errors);
  if (error != 0) throw EComPort(CError_ClearComFailed, error);
  return errors;
}

TModemSignals TCustomComPort::QueryModemSignals() {
  TModemSignals signals;
  const int error = device_->ModemSignals(signals);
  if (error != 0) throw EComPort(CError_ModemStatFailed, error);
  return signals;
}

// ---- Loading

void TCustomComPort::BeginLoading() {
  loading_ = true;
}

void TCustomComPort::Loaded() {
  if (!loading_) return;
  loading_ = false;
  if (connectOnLoad_) {
    connectOnLoad_ = false;
    OpenPort();
  }
}

// ---- Properties

bool TCustomComPort::Connected() const {
  return loading_ ? connectOnLoad_ : connected_.load();
}

void TCustomComPort::SetConnected(bool value) {
  if (loading_) {
    connectOnLoad_ = value;
    return;
  }
  if (value) {
    OpenPort();
  } else {
    ClosePort();
  }
}

TBaudRate TCustomComPort::BaudRate() const {
  return baudRate_;
}
void TCustomComPort::SetBaudRate(TBaudRate value) {
  if (value == baudRate_) return;
  baudRate_ = value;
  ApplyLineSettings();
}

const std::string& TCustomComPort::Port() const {
  return port_;
}
void TCustomComPort::SetPort(const std::string& value) {
  if (value == port_) return;  // case-sensitive: "com1" differs from "COM1"
  port_ = value;
  if (CanApply()) {
    ClosePort();
    OpenPort();
  }
}

TComParity& TCustomComPort::Parity() {
  return parity_;
}
void TCustomComPort::SetParity(const TComParity& value) {
  parity_.bits_ = value.bits_;
  parity_.check_ = value.check_;
  parity_.replace_ = value.replace_;
  parity_.replaceChar_ = value.replaceChar_;
  ApplyLineSettings();
}

TStopBits TCustomComPort::StopBits() const {
  return stopBits_;
}
void TCustomComPort::SetStopBits(TStopBits value) {
  if (value == stopBits_) return;
  stopBits_ = value;
  ApplyLineSettings();
}

TDataBits TCustomComPort::DataBits() const {
  return dataBits_;
}
void TCustomComPort::SetDataBits(TDataBits value) {
  if (value == dataBits_) return;
  dataBits_ = value;
  ApplyLineSettings();
}

bool TCustomComPort::DiscardNull() const {
  return discardNull_;
}
void TCustomComPort::SetDiscardNull(bool value) {
  if (value == discardNull_) return;
  discardNull_ = value;
  ApplyLineSettings();
}

char TCustomComPort::EventChar() const {
  return eventChar_;
}
void TCustomComPort::SetEventChar(char value) {
  if (value == eventChar_) return;
  eventChar_ = value;
  ApplyLineSettings();
}

TComEvents TCustomComPort::Events() const {
  return events_;
}
void TCustomComPort::SetEvents(TComEvents value) {
  events_ = value;
}

TComBuffer& TCustomComPort::Buffer() {
  return buffer_;
}
void TCustomComPort::SetBuffer(const TComBuffer& value) {
  buffer_.inputSize_ = value.inputSize_;
  buffer_.outputSize_ = value.outputSize_;
  ApplyBuffer();
}

TComFlowControl& TCustomComPort::FlowControl() {
  return flowControl_;
}
void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
  TCustomComPort* owner = flowControl_.owner_;
  flowControl_ = value;
  flowControl_.owner_ = owner;
  ApplyLineSettings();
}

TComTimeouts& TCustomComPort::Timeouts() {
  return timeouts_;
}
void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
  TCustomComPort* owner = timeouts_.owner_;
  timeouts_ = value;
  timeouts_.owner_ = owner;
  ApplyTimeouts();
}

TSyncMethod TCustomComPort::SyncMethod() const {
  return syncMethod_;
}
void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value == syncMethod_) return;
  if (connected_) throw EComPort(CError_ConnChangeProp, -1);
  syncMethod_ = value;
}

// ---- Notification steps

void TCustomComPort::DoAfterOpen() {
  if (OnAfterOpen) OnAfterOpen(*this);
}
void TCustomComPort::DoAfterClose() {
  if (OnAfterClose) OnAfterClose(*this);
}
void TCustomComPort::DoBeforeOpen() {
  if (OnBeforeOpen) OnBeforeOpen(*this);
}
void TCustomComPort::DoBeforeClose() {
  if (OnBeforeClose) OnBeforeClose(*this);
}
void TCustomComPort::DoRxChar(int count) {
  if (OnRxChar) OnRxChar(*this, count);
}
void TCustomComPort::DoRxBuf(const void* buffer, int count) {
  if (OnRxBuf) OnRxBuf(*this, buffer, count);
}
void TCustomComPort::DoTxEmpty() {
  if (OnTxEmpty) OnTxEmpty(*this);
}
void TCustomComPort::DoBreak() {
  if (OnBreak) OnBreak(*this);
}
void TCustomComPort::DoRing() {
  if (OnRing) OnRing(*this);
}
void TCustomComPort::DoRxFlag() {
  if (OnRxFlag) OnRxFlag(*this);
}
void TCustomComPort::DoRx80Full() {
  if (OnRx80Full) OnRx80Full(*this);
}
void TCustomComPort::DoCTSChange(bool onOff) {
  if (OnCTSChange) OnCTSChange(*this, onOff);
}
void TCustomComPort::DoDSRChange(bool onOff) {
  if (OnDSRChange) OnDSRChange(*this, onOff);
}
void TCustomComPort::DoRLSDChange(bool onOff) {
  if (OnRLSDChange) OnRLSDChange(*this, onOff);
}
void TCustomComPort::DoError(TComErrors errors) {
  if (OnError) OnError(*this, errors);
}
