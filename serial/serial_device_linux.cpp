#include "serial/serial_device.h"

#include <cerrno>

struct TSerialDevice::Monitor {};
struct TSerialDevice::ErrorCounters {};

TSerialDevice::TSerialDevice() = default;
TSerialDevice::~TSerialDevice() {
  Close();
}
std::string TSerialDevice::PathOf(const std::string& portName) {
  return portName.find('/') != std::string::npos ? portName : "/dev/" + portName;
}
int TSerialDevice::Open(const std::string&) {
  return ENOSYS;
}
void TSerialDevice::Close() {}
int TSerialDevice::SetQueueSizes(int, int) {
  return 0;
}
int TSerialDevice::ApplyLineSettings(const TLineSettings&) {
  return 0;
}
int TSerialDevice::SetTimeouts(const TTimeoutSettings&) {
  return 0;
}
TIoResult TSerialDevice::Write(const void*, int) {
  return {0, EBADF};
}
TIoResult TSerialDevice::Read(void*, int) {
  return {0, EBADF};
}
int TSerialDevice::InputQueueCount(int& count) {
  count = 0;
  return EBADF;
}
int TSerialDevice::ReadErrors(TComErrors& errors) {
  errors = {};
  return 0;
}
int TSerialDevice::ModemSignals(TModemSignals& signals) {
  signals = {};
  return 0;
}
int TSerialDevice::AbortTransfers() {
  return 0;
}
int TSerialDevice::DiscardQueues() {
  return 0;
}
int TSerialDevice::BeginMonitoring(TComEvents) {
  return 0;
}
TWaitOutcome TSerialDevice::WaitForEvents(int, TComEvents&, int& error) {
  error = EBADF;
  return TWaitOutcome::Failed;
}
void TSerialDevice::EndMonitoring() {}
