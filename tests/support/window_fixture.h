// The real main window, offscreen, over its real ComPort1 on a pseudo-terminal, with virtual
// devices of the family on the other side. Each test gets a fresh link state, bus and window.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "console/main_window.h"
#include "sim/virtual_bus.h"

class WindowOnBus : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds a device to the bus (the default: address 247, id 14, 9600 baud).
  sim::TVirtualDevice& AddDevice(const sim::TDeviceConfig& config = {});

  // The log as shown, line by line (UTF-8), and its colour as red, green, blue.
  std::vector<std::string> Log() const;
  std::string LastLine() const;
  std::string LogColour() const;
  bool LogHas(const std::string& line) const;

  // Runs the event loop until the log holds `line` (or the log ends with it) or the timeout.
  bool WaitForLine(const std::string& line,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Runs the event loop until the exchange in flight has ended (Timer_Rx off, nothing busy).
  bool WaitForExchangeEnd(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Runs the event loop for this long.
  static void Pump(std::chrono::milliseconds time);

  static std::string Panel(const TForm1& form, int index);

  std::unique_ptr<sim::TVirtualBus> bus;
  std::unique_ptr<TForm1> form;
};

// The bytes as the log shows them: two upper-case digits and a blank each.
std::string Cells(const std::vector<std::uint8_t>& bytes);
