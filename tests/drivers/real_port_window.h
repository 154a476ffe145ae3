// The real main window over a real serial port of the machine (TARVI_PORT: ttyUSB0 or ttyS1),
// wired to a line of virtual devices elsewhere whose trace (tarvi-sim --verbose) is readable at
// TARVI_TRACE. The devices on that line (tests/drivers/lines.conf): 247 at 9600 Bd, one device
// per rate at 230 + its baud code, a ТАРВИ-З-А at 3, and a slow talker at 200 (1200 Bd).
// TARVI_SHARE is the folder through which the adapter is pulled out and plugged in.
#pragma once

#include <QAction>
#include <string>
#include <vector>

#include "tests/support/window_fixture.h"

extern const char* const kOk;       // "   : ОК." in Cyrillic letters
extern const char* const kTimeOut;  // "   : TIME OUT."

class RealPortWindow : public WindowOnBus {
 protected:
  void SetUp() override;

  // The PC's rate by its index in the rate table (0: 1200 .. 7: 57600) through the BaudRate
  // menu, and the device's confirmed rate (which the read time-out follows) to match.
  void SetRates(int baudIndex);
  // The address the requests go to, as typed into the address field.
  void SetAddress(int address);
  // Clicks "ЗАПРОС ПАРАМЕТРОВ".
  void Query();
  // Waits until the exchange in flight has ended and its log ends with a verdict.
  bool WaitForVerdict(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // The trace lines of the line's devices as written so far.
  std::vector<std::string> Trace() const;
  // How many times the devices have heard `request` (the log's cells, "F7 03 ... ").
  std::size_t TimesHeard(const std::string& request) const;
  // The rate at which the devices heard `request` the last time (0 when never). The trace is
  // written on the host: waits until it shows the request `times` times.
  unsigned RateHeard(const std::string& request, std::size_t times) const;

  std::string port;   // ttyUSB0, ttyS1
  std::string node;   // /dev/ttyUSB0
  std::string trace;  // the devices' trace
  std::string share;  // the folder shared with the host
};

// Runs an idle event loop for `seconds` and returns the CPU time the process took meanwhile, in
// seconds (user and system, all threads).
double CpuSecondsWhileIdle(double seconds);
