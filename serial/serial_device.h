// The device side of one serial port: the few calls the component and its monitor need, each
// reporting failure as the platform's error code (0 for success: errno on Linux, GetLastError on
// Windows) so that the caller can raise the matching EComPort. Layers carry a line behind these
// calls (device_layer.h): the system's own port (serial_device_linux.cpp or
// serial_device_win32.cpp, picked by the build), or a layer from the table of layers whose
// matcher takes the port name (a connection to a serial device server, for instance), picked at
// each Open.
//
// Threads: Open, Close, the Set*/Apply* calls and Write run on the owner's (main) thread; Read,
// InputQueueCount and ReadErrors may run on the monitor thread; WaitForEvents runs only on the
// monitor thread. AbortTransfers may be called while another thread is blocked in Read or Write
// and releases it. Close must not be called while another thread may still use the device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/com_types.h"

class TDeviceLayer;
class TStopSignal;

// One record of line settings, applied in one call.
struct TLineSettings {
  std::uint32_t rate = 9600;
  int dataBits = 8;
  TParityBits parity = prNone;
  TStopBits stopBits = sbOneStopBit;
  bool parityCheck = false;
  bool parityReplace = false;
  char replaceChar = 0;
  bool discardNull = false;
  bool outCTSFlow = false;
  bool outDSRFlow = false;
  TDTRFlowControl controlDTR = dtrDisable;
  TRTSFlowControl controlRTS = rtsDisable;
  bool xonXoffOut = false;
  bool xonXoffIn = false;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = false;
  char xonChar = 0x11;
  char xoffChar = 0x13;
  int xonLimit = 256;
  int xoffLimit = 256;
  char eventChar = 0;
};

// The five time-outs in milliseconds, unsigned: 0xFFFFFFFF is the maximum.
struct TTimeoutSettings {
  std::uint32_t readInterval = 0xFFFFFFFFu;
  std::uint32_t readTotalMultiplier = 0;
  std::uint32_t readTotalConstant = 0;
  std::uint32_t writeTotalMultiplier = 100;
  std::uint32_t writeTotalConstant = 1000;
};

// Outcome of a transfer: the bytes moved and 0, or the error code of the failure.
struct TIoResult {
  int count = 0;
  int error = 0;
};

enum class TWaitOutcome { Events, Stopped, Failed };

class TSerialDevice {
 public:
  TSerialDevice();
  ~TSerialDevice();  // closes the device if open
  TSerialDevice(const TSerialDevice&) = delete;
  TSerialDevice& operator=(const TSerialDevice&) = delete;

  // The device a port name stands for. Linux: a name holding '/' is a path, any other is
  // /dev/<name>. Windows: a name holding '\\' or '/' is a path, any other is \\.\<name>.
  static std::string PathOf(const std::string& portName);

  // Opens the port for exclusive use with DTR and RTS dropped. Returns 0, or the error code of
  // the failed step with nothing left open (Linux EWOULDBLOCK/EBUSY, Windows 5 access denied:
  // another program holds the port; ENOENT or 2: no such port). A name that a layer of the
  // table takes opens that layer instead, with that layer's error codes.
  int Open(const std::string& portName);
  // Discards both queues and closes the device; does nothing when closed.
  void Close();
  bool IsOpen() const;

  // Linux has no per-port queue size: the sizes are kept (for the XON/XOFF limits and the
  // 80 % mark of the input queue) and reported back. Windows passes them to the driver.
  int SetQueueSizes(int inputSize, int outputSize);
  int ApplyLineSettings(const TLineSettings& settings);
  int SetTimeouts(const TTimeoutSettings& timeouts);

  // Blocks until every byte is taken by the driver or the write time-outs expire (then fewer
  // bytes and no error); an abort ends it with ECANCELED (Windows: ERROR_OPERATION_ABORTED).
  TIoResult Write(const void* buffer, int count);
  // Blocks as the read time-outs say: with a read interval, until count bytes are in or the
  // interval has passed after the last byte once one came. An abort ends it as a write's does, a
  // vanished device with an error (Linux EIO).
  TIoResult Read(void* buffer, int count);
  // Bytes waiting in the input queue; clears the recorded line errors as a side effect.
  int InputQueueCount(int& count);
  // Line errors since the last query (read and cleared); parity errors only when the line
  // settings check parity.
  int ReadErrors(TComErrors& errors);
  // A port without modem lines (a pseudo-terminal) answers all signals off.
  int ModemSignals(TModemSignals& signals);

  // Releases every blocked Read and Write and fails those started later, until Close. The
  // queues keep their contents (DiscardQueues and Close drop them).
  int AbortTransfers();
  // Discards both queues.
  int DiscardQueues();

  // Monitor side. BeginMonitoring fixes the events looked for; WaitForEvents sleeps until one of
  // them happens (Events, with the set), the stop signal is raised (Stopped), or the port has
  // gone or the wait failed (Failed, error code in error). EndMonitoring releases what
  // BeginMonitoring took.
  int BeginMonitoring(TComEvents mask);
  TWaitOutcome WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error);
  void EndMonitoring();

 private:
  std::unique_ptr<TDeviceLayer> layer_;  // the system's port until a name of the table opens
  int layerKind_ = -1;                   // layer_'s entry in the table, -1 the system's port
};
