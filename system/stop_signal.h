// The monitor's stop signal: manual-reset, initially clear, raised once by Stop and never cleared,
// so a stop raised while the monitor is busy in a handler is seen at its next wait. The device
// layer puts it into its one platform wait beside the port (serial_device.h).
#pragma once

#include <cstdint>

class TStopSignal {
 public:
  // Throws std::system_error when the system object cannot be created.
  TStopSignal();
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  // Any thread; never fails once created.
  void Raise();
  // The object a platform wait can hold: an eventfd (Linux), an event HANDLE (Windows).
  std::intptr_t Native() const { return native_; }

 private:
  std::intptr_t native_;
};
