// The serial port component: a named port with its line settings, opened and closed on demand,
// written and read with blocking calls, and watched by a monitor thread (TComThread) while open.
//
// Threads: OpenPort, ClosePort, WritePort and the setters run on the main thread. ReadPort and
// InputQueueCount may run on the monitor thread, inside a received-character handler. The
// component takes no lock; ClosePort aborts every pending transfer first, so a ReadPort blocked
// on the monitor thread fails (EComPort 3) and the monitor can end.
//
// Failures: every failure is an EComPort (com_exception.h); the component reports nothing itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/com_exception.h"
#include "serial/com_settings.h"
#include "serial/com_types.h"

class TComThread;
class TSerialDevice;
struct TNotificationWindow;

class TCustomComPort {
 public:
  using TNotifyEvent = std::function<void(TCustomComPort& sender)>;
  using TRxCharEvent = std::function<void(TCustomComPort& sender, int count)>;
  using TRxBufEvent = std::function<void(TCustomComPort& sender, const void* buffer, int count)>;
  using TComSignalEvent = std::function<void(TCustomComPort& sender, bool onOff)>;
  using TComErrorEvent = std::function<void(TCustomComPort& sender, TComErrors errors)>;

  TCustomComPort();
  virtual ~TCustomComPort();
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  // Opens the device and starts the monitor; nothing happens when already open.
  void OpenPort();
  // Stops the monitor and closes the device; nothing happens when closed.
  void ClosePort();
  // Blocks until count bytes are written (or the write time-outs expire); returns the count
  // written.
  int WritePort(const void* buffer, int count);
  // Blocks until count bytes are read, or the read-interval time-out has passed after a byte;
  // returns the number read.
  int ReadPort(void* buffer, int count);
  // Number of received bytes waiting in the input queue.
  int InputQueueCount();

  // Loading from the window definition: between BeginLoading and Loaded the setters only store.
  // Loaded applies everything and opens the port if Connected was stored as true.
  void BeginLoading();
  void Loaded();

  bool Connected() const;
  void SetConnected(bool value);
  TBaudRate BaudRate() const;
  void SetBaudRate(TBaudRate value);
  const std::string& Port() const;
  void SetPort(const std::string& value);
  TComParity& Parity();
  void SetParity(const TComParity& value);
  TStopBits StopBits() const;
  void SetStopBits(TStopBits value);
  TDataBits DataBits() const;
  void SetDataBits(TDataBits value);
  bool DiscardNull() const;
  void SetDiscardNull(bool value);
  char EventChar() const;
  void SetEventChar(char value);
  TComEvents Events() const;
  void SetEvents(TComEvents value);
  TComBuffer& Buffer();
  void SetBuffer(const TComBuffer& value);
  TComFlowControl& FlowControl();
  void SetFlowControl(const TComFlowControl& value);
  TComTimeouts& Timeouts();
  void SetTimeouts(const TComTimeouts& value);
  TSyncMethod SyncMethod() const;
  void SetSyncMethod(TSyncMethod value);

  // Handler properties; an empty function means "not assigned".
  TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;
  TNotifyEvent OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
  TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
  TComErrorEvent OnError;

  // The monitor thread of the current opening, or null (none runs or the port is closed).
  // For tests and diagnostics; the object stays owned by the component.
  const TComThread* Monitor() const { return thread_.get(); }

 protected:
  // Overridable steps of opening and closing; each raises EComPort on failure.
  virtual void CreateHandle();   // opens the device (EComPort 1)
  virtual void DestroyHandle();  // discards the queues and closes the device
  virtual void ApplySettings();  // queue sizes, line settings, time-outs, in this order

  // Apply steps: each does nothing while the port is closed or the component is loading.
  virtual void ApplyBuffer();        // EComPort 9
  virtual void ApplyLineSettings();  // EComPort 7
  virtual void ApplyTimeouts();      // EComPort 8

  // Notification steps: each calls its handler when one is assigned. They are not virtual: the
  // monitor thread calls them, and a virtual call there would race with the destruction of a
  // derived component (its vtable pointer changes while the destructor runs).
  void DoAfterOpen();
  void DoAfterClose();
  void DoBeforeOpen();
  void DoBeforeClose();
  void DoRxChar(int count);
  void DoRxBuf(const void* buffer, int count);
  void DoTxEmpty();
  void DoBreak();
  void DoRing();
  void DoRxFlag();
  void DoRx80Full();
  void DoCTSChange(bool onOff);
  void DoDSRChange(bool onOff);
  void DoRLSDChange(bool onOff);
  void DoError(TComErrors errors);

 private:
  friend class TComThread;
  friend void HandleComEvent(TCustomComPort& port, TComEvent event);
  friend class TComTimeouts;
  friend class TComFlowControl;
  friend class TComParity;
  friend class TComBuffer;

  bool CanApply() const { return connected_ && !loading_; }
  // The error query: reads and clears the line-error flags (EComPort 10).
  TComErrors QueryErrors();
  // The modem-signal query (EComPort 11); a port without modem lines answers all off.
  TModemSignals QueryModemSignals();
  // Stops the monitor, if one runs, and waits for its end while serving the main-thread queue.
  void StopMonitor();

  std::unique_ptr<TSerialDevice> device_;
  std::atomic<bool> connected_{false};  // the open flag; read from any thread
  bool loading_ = false;
  bool connectOnLoad_ = false;  // Connected as stored while loading

  TBaudRate baudRate_ = br9600;
  std::string port_ = "COM1";
  TComParity parity_;
  TStopBits stopBits_ = sbOneStopBit;
  TDataBits dataBits_ = dbEight;
  bool discardNull_ = false;
  char eventChar_ = 0;
  TComEvents events_ = kAllComEvents;
  TComBuffer buffer_;
  TComFlowControl flowControl_;
  TComTimeouts timeouts_;
  TSyncMethod syncMethod_ = smThreadSync;

  std::unique_ptr<TComThread> thread_;
  std::shared_ptr<TNotificationWindow> window_;  // smWindowSync only, while open
  std::uint32_t customBaudRate_ = 9600;          // the rate of brCustom; nothing changes it
};

// The published form of the component; adds nothing but the publication of the properties.
class TComPort : public TCustomComPort {
 public:
  using TCustomComPort::TCustomComPort;
};
