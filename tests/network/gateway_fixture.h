// A real serial device server in front of virtual devices: Debian's ser2net, started by the test
// on loopback ports picked free, with a telnet(rfc2217) accepter for one virtual line and a raw
// TCP accepter for another (each line its own, as ser2net hands a line to one client at a time
// and frees it only a moment after that client has gone).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "sim/virtual_bus.h"
#include "tests/sim/child_process.h"

// A loopback TCP port that nothing listens on at the moment of the call.
std::uint16_t FreeLoopbackPort();

// True once something listens on 127.0.0.1:port (read from /proc/net/tcp, so that the check
// itself opens no connection that the server would answer by taking its line).
bool Listening(std::uint16_t port);

class GatewayTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts both virtual lines; nothing when they run.
  void StartLines();
  // Starts both lines (once) and ser2net on the two ports (again after StopGateway), and waits
  // until both listen.
  void StartGateway();
  // Ends ser2net (SIGTERM, then waits for its end).
  void StopGateway();

  std::string TelnetPort() const;  // rfc2217://127.0.0.1:N
  std::string RawPort() const;     // tcp://127.0.0.1:N

  std::unique_ptr<sim::TVirtualBus> telnetBus_;  // behind the rfc2217 accepter
  std::unique_ptr<sim::TVirtualBus> rawBus_;     // behind the raw accepter
  std::uint16_t telnetPort_ = 0;
  std::uint16_t rawPort_ = 0;
  bool linesStarted_ = false;
  std::string folder_;
  std::unique_ptr<TChildProcess> gateway_;
};
