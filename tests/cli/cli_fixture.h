// The real tarvi-cli program run as a child process against virtual devices on a line of the
// test's own (a TVirtualBus in this process, on a pseudo-terminal).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "sim/virtual_bus.h"
#include "tests/cli/json_value.h"

struct TCliRun {
  int status = -1;  // -1: did not end in time (then killed)
  std::string out;
  std::string err;
};

// Runs build/bin/tarvi-cli with args and waits for its end.
TCliRun RunCli(const std::vector<std::string>& args,
               std::chrono::milliseconds limit = std::chrono::seconds(120));

// A device of the given address, id and baud code (4: 9600 Bd), the rest at the defaults.
sim::TDeviceConfig Device(std::uint8_t address, std::uint16_t id = 14, std::uint8_t baudCode = 4);

// The frames a device heard that were addressed to it.
std::size_t RequestsTo(const sim::TVirtualDevice& device);

class CliOnBus : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds a device before or after the line starts.
  sim::TVirtualDevice& Add(const sim::TDeviceConfig& config);
  // The port the program opens.
  std::string Port() const;

  std::unique_ptr<sim::TVirtualBus> bus_;
};
