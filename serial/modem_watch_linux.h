// Wakes the monitor when a modem input line (CTS, DSR, RI, DCD) changes. The kernel reports
// those changes only to a thread blocked in ioctl(TIOCMIWAIT), which no poll() set can hold, so
// a helper thread waits there and writes an eventfd that the monitor polls. Drivers without the
// call (pseudo-terminals) end the helper at once; the monitor then simply gets no line events.
//
// Created and destroyed by the monitor side of TSerialDevice. Destruction interrupts the helper
// with a signal and waits for it; the descriptor must stay open until then.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class TModemWatch {
 public:
  // Starts the helper on fd; each change makes wakeFd readable. Throws std::system_error when
  // the thread cannot be started.
  TModemWatch(int fd, int wakeFd);
  ~TModemWatch();
  TModemWatch(const TModemWatch&) = delete;
  TModemWatch& operator=(const TModemWatch&) = delete;

 private:
  void Run();

  int fd_;
  int wakeFd_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable ended_;
  bool finished_ = false;  // guarded by mutex_
  std::thread thread_;
};
