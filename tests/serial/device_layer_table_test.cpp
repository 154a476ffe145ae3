// The table of device layers: a name that a registered matcher takes opens that layer, any other
// name the system's port; the layer changes only while the port is closed, and a matcher
// registered twice is one entry.
#include <gtest/gtest.h>

#include <string>

#include "serial/device_layer.h"
#include "serial/serial_device.h"
#include "tests/support/pty_pair.h"

namespace {

// What the fake layer's Open answers, unlike any errno: a refused name, and a second Open.
constexpr int kFakeRefused = 4242;
constexpr int kFakeBusy = 4243;

int fakeLayersMade = 0;

bool IsFakeName(const std::string& name) {
  return name.rfind("fake://", 0) == 0;
}

// A layer that opens by name and answers every call with success.
class TFakeLayer final : public TDeviceLayer {
 public:
  int Open(const std::string& name) override {
    if (open_) return kFakeBusy;
    open_ = name != "fake://refuse";
    return open_ ? 0 : kFakeRefused;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  int SetQueueSizes(int, int) override { return 0; }
  int ApplyLineSettings(const TLineSettings&) override { return 0; }
  int SetTimeouts(const TTimeoutSettings&) override { return 0; }
  TIoResult Write(const void*, int count) override { return {count, 0}; }
  TIoResult Read(void*, int) override { return {0, 0}; }
  int InputQueueCount(int& count) override {
    count = 0;
    return 0;
  }
  int ReadErrors(TComErrors& errors) override {
    errors = {};
    return 0;
  }
  int ModemSignals(TModemSignals& signals) override {
    signals = {};
    return 0;
  }
  int AbortTransfers() override { return 0; }
  int DiscardQueues() override { return 0; }
  int BeginMonitoring(TComEvents) override { return 0; }
  TWaitOutcome WaitForEvents(const TStopSignal&, TComEvents&, int&) override {
    return TWaitOutcome::Stopped;
  }
  void EndMonitoring() override {}

 private:
  bool open_ = false;
};

std::unique_ptr<TDeviceLayer> MakeFakeLayer() {
  ++fakeLayersMade;
  return std::make_unique<TFakeLayer>();
}

class DeviceLayerTable : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDeviceLayer(IsFakeName, MakeFakeLayer);
    RegisterDeviceLayer(IsFakeName, MakeFakeLayer);  // a second time: still one entry
    fakeLayersMade = 0;
  }
};

TEST_F(DeviceLayerTable, PicksTheLayerByTheNameAtEachOpen) {
  TPtyPair pty;
  TSerialDevice device;
  // A refusal comes from the fake layer itself, not from a device file of that name.
  EXPECT_EQ(device.Open("fake://refuse"), kFakeRefused);
  EXPECT_EQ(fakeLayersMade, 1);
  ASSERT_EQ(device.Open("fake://line"), 0);
  EXPECT_EQ(fakeLayersMade, 1) << "the same kind of layer is kept between openings";
  // Open on an open layer answers itself: no switch to the system's port while open.
  EXPECT_EQ(device.Open(pty.SlavePath()), kFakeBusy);
  EXPECT_TRUE(device.IsOpen());
  device.Close();

  ASSERT_EQ(device.Open(pty.SlavePath()), 0) << "a plain name opens the system's port";
  EXPECT_EQ(fakeLayersMade, 1);
  const char byte = 'x';
  EXPECT_EQ(device.Write(&byte, 1).count, 1);
  EXPECT_EQ(pty.Receive(1, std::chrono::milliseconds(2000)), std::vector<std::uint8_t>{'x'});
  device.Close();

  ASSERT_EQ(device.Open("fake://again"), 0);
  EXPECT_EQ(fakeLayersMade, 2);
}

}  // namespace
