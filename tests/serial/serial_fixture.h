// A port set up like the main window's (read interval 150 ms, smNone) on the slave side of a
// fresh pseudo-terminal pair; the test plays the device on the master side.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "serial/com_port.h"
#include "system/main_thread_queue.h"
#include "tests/support/pty_pair.h"

class PortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    MarkMainThread();
    port_.SetPort(pty_.SlavePath());
    port_.Timeouts().SetReadInterval(150);
    port_.SetSyncMethod(smNone);
  }

  // Milliseconds since `from` on the monotonic clock.
  static double MsSince(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from)
        .count();
  }

  TPtyPair pty_;
  TComPort port_;
};
