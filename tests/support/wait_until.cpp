#include "tests/support/wait_until.h"

#include <thread>

bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout,
               const std::function<void()>& poll) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return ready();
    if (poll) {
      poll();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return true;
}
