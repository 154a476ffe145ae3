#include "serial/serial_device.h"

#include "serial/device_layer.h"
#include "serial/network_port_name.h"

TSerialDevice::TSerialDevice() : layer_(std::make_unique<TOsDevice>()) {}

TSerialDevice::~TSerialDevice() {
  Close();
}

int TSerialDevice::Open(const std::string& portName) {
  // The layer changes only between openings; an open one answers a second Open itself.
  const bool network = IsNetworkPortName(portName);
  if (network != network_ && !layer_->IsOpen()) {
    layer_ = network ? MakeNetworkDevice() : std::make_unique<TOsDevice>();
    network_ = network;
  }
  return layer_->Open(portName);
}

void TSerialDevice::Close() {
  layer_->Close();
}
bool TSerialDevice::IsOpen() const {
  return layer_->IsOpen();
}
int TSerialDevice::SetQueueSizes(int inputSize, int outputSize) {
  return layer_->SetQueueSizes(inputSize, outputSize);
}
int TSerialDevice::ApplyLineSettings(const TLineSettings& settings) {
  return layer_->ApplyLineSettings(settings);
}
int TSerialDevice::SetTimeouts(const TTimeoutSettings& timeouts) {
  return layer_->SetTimeouts(timeouts);
}
TIoResult TSerialDevice::Write(const void* buffer, int count) {
  return layer_->Write(buffer, count);
}
TIoResult TSerialDevice::Read(void* buffer, int count) {
  return layer_->Read(buffer, count);
}
int TSerialDevice::InputQueueCount(int& count) {
  return layer_->InputQueueCount(count);
}
int TSerialDevice::ReadErrors(TComErrors& errors) {
  return layer_->ReadErrors(errors);
}
int TSerialDevice::ModemSignals(TModemSignals& signals) {
  return layer_->ModemSignals(signals);
}
int TSerialDevice::AbortTransfers() {
  return layer_->AbortTransfers();
}
int TSerialDevice::DiscardQueues() {
  return layer_->DiscardQueues();
}
int TSerialDevice::BeginMonitoring(TComEvents mask) {
  return layer_->BeginMonitoring(mask);
}
TWaitOutcome TSerialDevice::WaitForEvents(const TStopSignal& stop, TComEvents& events, int& error) {
  return layer_->WaitForEvents(stop, events, error);
}
void TSerialDevice::EndMonitoring() {
  layer_->EndMonitoring();
}
