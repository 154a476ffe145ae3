// The stand-in for a hidden notification window of smWindowSync: a token shared by the component
// and the work its monitor hands to the main thread. Work that finds the window destroyed (its
// opening closed) does nothing.
#pragma once

#include <atomic>

struct TNotificationWindow {
  bool IsOpen() const { return open.load(); }
  void Destroy() { open.store(false); }
  std::atomic<bool> open{true};
};
