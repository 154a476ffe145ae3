// Network lines on Windows are not carried yet: opening an rfc2217:// or tcp:// name fails with
// ERROR_NOT_SUPPORTED, so the port component reports "Unable to open com port" with that code
// and nothing is left open. Local ports are unaffected.
#include <windows.h>

#include "serial/device_layer.h"

namespace {

class TUnsupportedNetworkDevice final : public TDeviceLayer {
 public:
  int Open(const std::string&) override { return ERROR_NOT_SUPPORTED; }
  void Close() override {}
  bool IsOpen() const override { return false; }
  int SetQueueSizes(int, int) override { return kNotOpen; }
  int ApplyLineSettings(const TLineSettings&) override { return kNotOpen; }
  int SetTimeouts(const TTimeoutSettings&) override { return kNotOpen; }
  TIoResult Write(const void*, int) override { return {0, kNotOpen}; }
  TIoResult Read(void*, int) override { return {0, kNotOpen}; }
  int InputQueueCount(int& count) override {
    count = 0;
    return kNotOpen;
  }
  int ReadErrors(TComErrors& errors) override {
    errors = {};
    return kNotOpen;
  }
  int ModemSignals(TModemSignals& signals) override {
    signals = {};
    return kNotOpen;
  }
  int AbortTransfers() override { return 0; }
  int DiscardQueues() override { return kNotOpen; }
  int BeginMonitoring(TComEvents) override { return kNotOpen; }
  TWaitOutcome WaitForEvents(const TStopSignal&, TComEvents& events, int& error) override {
    events = {};
    error = kNotOpen;
    return TWaitOutcome::Failed;
  }
  void EndMonitoring() override {}

 private:
  static constexpr int kNotOpen = ERROR_INVALID_HANDLE;
};

}  // namespace

std::unique_ptr<TDeviceLayer> MakeNetworkDevice() {
  return std::make_unique<TUnsupportedNetworkDevice>();
}
