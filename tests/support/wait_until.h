// Waiting for a condition with a deadline instead of sleeping a fixed time.
#pragma once

#include <chrono>
#include <functional>

// Calls poll() (which may run an event loop for a moment) until ready() is true or the timeout has
// passed; returns ready(). The default poll sleeps one millisecond.
bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout,
               const std::function<void()>& poll = {});
