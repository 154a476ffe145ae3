#include "serial/serial_device.h"

#include <mutex>
#include <utility>
#include <vector>

#include "serial/device_layer.h"

namespace {

struct TLayerEntry {
  TPortNameMatcher matches;
  TLayerFactory make;
};

std::mutex& TableMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<TLayerEntry>& Table() {
  static std::vector<TLayerEntry> table;
  return table;
}

// The entry that carries the name: its index and factory, or -1 for the system's own port.
std::pair<int, TLayerFactory> LayerFor(const std::string& portName) {
  std::lock_guard lock(TableMutex());
  const std::vector<TLayerEntry>& table = Table();
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].matches(portName)) return {static_cast<int>(i), table[i].make};
  }
  return {-1, nullptr};
}

}  // namespace

void RegisterDeviceLayer(TPortNameMatcher matches, TLayerFactory make) {
  std::lock_guard lock(TableMutex());
  for (const TLayerEntry& entry : Table()) {
    if (entry.matches == matches) return;
  }
  Table().push_back({matches, make});
}

TSerialDevice::TSerialDevice() : layer_(std::make_unique<TOsDevice>()) {}

TSerialDevice::~TSerialDevice() {
  Close();
}

int TSerialDevice::Open(const std::string& portName) {
  // The layer changes only between openings; an open one answers a second Open itself.
  if (!layer_->IsOpen()) {
    const auto [kind, make] = LayerFor(portName);
    if (kind != layerKind_) {
      if (make != nullptr) {
        layer_ = make();
      } else {
        layer_ = std::make_unique<TOsDevice>();
      }
      layerKind_ = kind;
    }
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
