// The layers that carry a line behind TSerialDevice. Every call has the contract written in
// serial_device.h (what it blocks on, which thread, what an abort does); TSerialDevice picks the
// layer by the port name when the port opens and forwards each call to it: the first entry of
// the table of layers whose matcher takes the name, else the system's own port.
#pragma once

#include <memory>
#include <string>

#include "serial/serial_device.h"

class TDeviceLayer {
 public:
  virtual ~TDeviceLayer() = default;

  virtual int Open(const std::string& portName) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual int SetQueueSizes(int inputSize, int outputSize) = 0;
  virtual int ApplyLineSettings(const TLineSettings& settings) = 0;
  virtual int SetTimeouts(const TTimeoutSettings& timeouts) = 0;
  virtual TIoResult Write(const void* buffer, int count) = 0;
  virtual TIoResult Read(void* buffer, int count) = 0;
  virtual int InputQueueCount(int& count) = 0;
  virtual int ReadErrors(TComErrors& errors) = 0;
  virtual int ModemSignals(TModemSignals& signals) = 0;
  virtual int AbortTransfers() = 0;
  virtual int DiscardQueues() = 0;
  virtual int BeginMonitoring(TComEvents mask) = 0;
  virtual TWaitOutcome WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) = 0;
  virtual void EndMonitoring() = 0;
};

// The system's own serial port, in serial_device_<os>.cpp.
class TOsDevice final : public TDeviceLayer {
 public:
  TOsDevice();
  ~TOsDevice() override;  // closes the device if open

  int Open(const std::string& portName) override;
  void Close() override;
  bool IsOpen() const override;
  int SetQueueSizes(int inputSize, int outputSize) override;
  int ApplyLineSettings(const TLineSettings& settings) override;
  int SetTimeouts(const TTimeoutSettings& timeouts) override;
  TIoResult Write(const void* buffer, int count) override;
  TIoResult Read(void* buffer, int count) override;
  int InputQueueCount(int& count) override;
  int ReadErrors(TComErrors& errors) override;
  int ModemSignals(TModemSignals& signals) override;
  int AbortTransfers() override;
  int DiscardQueues() override;
  int BeginMonitoring(TComEvents mask) override;
  TWaitOutcome WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) override;
  void EndMonitoring() override;

 private:
  struct Platform;  // the platform's handles and shared state
  std::unique_ptr<Platform> p_;
};

// The table of further layers: each entry a matcher of port names and the factory of its layer.
// Filled in at program start (before the first port opens) by the libraries that provide
// layers; adding a matcher already in the table changes nothing.
using TPortNameMatcher = bool (*)(const std::string& portName);
using TLayerFactory = std::unique_ptr<TDeviceLayer> (*)();
void RegisterDeviceLayer(TPortNameMatcher matches, TLayerFactory make);
