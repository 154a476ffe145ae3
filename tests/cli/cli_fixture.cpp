#include "tests/cli/cli_fixture.h"

#include "tests/sim/child_process.h"

TCliRun RunCli(const std::vector<std::string>& args, std::chrono::milliseconds limit) {
  std::vector<std::string> argv{BinDir() + "/tarvi-cli"};
  argv.insert(argv.end(), args.begin(), args.end());
  TChildProcess child(argv.front(), argv);
  TCliRun run;
  // Read stdout as it comes, so that a long output never fills the pipe.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::optional<int> status;
  while (!(status = child.Wait(std::chrono::milliseconds(50)))) {
    while (const auto line = child.ReadLine(std::chrono::milliseconds(0)))
      run.out += *line + "\n";
    if (std::chrono::steady_clock::now() > deadline) break;
  }
  run.out += child.Stdout();
  run.err = child.Stderr();
  run.status = status.value_or(-1);
  return run;
}

std::size_t RequestsTo(const sim::TVirtualDevice& device) {
  std::size_t count = 0;
  for (const sim::TRequestRecord& request : device.Requests())
    if (!request.bytes.empty() && request.bytes[0] == device.Address()) ++count;
  return count;
}

void CliOnBus::SetUp() {
  ASSERT_FALSE(BinDir().empty());
  bus_ = std::make_unique<sim::TVirtualBus>();
}

void CliOnBus::TearDown() {
  bus_.reset();
}

sim::TDeviceConfig Device(std::uint8_t address, std::uint16_t id, std::uint8_t baudCode) {
  sim::TDeviceConfig config;
  config.address = address;
  config.id = id;
  config.baudCode = baudCode;
  return config;
}

sim::TVirtualDevice& CliOnBus::Add(const sim::TDeviceConfig& config) {
  return bus_->AddDevice(config);
}

std::string CliOnBus::Port() const {
  return bus_->SlavePath();
}
