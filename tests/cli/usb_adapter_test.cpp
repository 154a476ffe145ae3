// Every command at its defaults through a USB adapter that hands the bytes over at the ticks of
// its latency timer (16 ms, the FTDI default, and 32 ms), at a slow, the usual and a fast rate,
// with the results of a plain line; and a device that pauses within its reply for as long as a
// tick. No --gap anywhere: the replies are read to their length.
#include <signal.h>

#include "sim/modbus_slave.h"
#include "tests/cli/cli_fixture.h"
#include "tests/sim/child_process.h"
#include "tests/support/case_name.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/wait_until.h"

namespace {

using namespace std::chrono_literals;

enum class TCommand { Read, On, Off, Set, Scan, Apply, Watch, Monitor };

struct AdapterCase {
  std::string name;
  TCommand command;
  std::uint8_t baudCode;              // of the device, and the rate the command uses
  std::chrono::milliseconds latency;  // 0: a plain line
  sim::TFaults faults{};
};

std::string RateText(std::uint8_t baudCode) {
  return std::to_string(sim::RateOfBaudCode(baudCode));
}

class CliThroughUsbAdapter : public CliOnBus, public ::testing::WithParamInterface<AdapterCase> {
 protected:
  void SetUp() override {
    CliOnBus::SetUp();
    sim::TBusOptions options;
    if (GetParam().latency.count() > 0) options.usbLatency = GetParam().latency;
    bus_ = std::make_unique<sim::TVirtualBus>(options);
  }

  // The command's words and what its output must hold; checks of the device after it.
  TCliRun Run(sim::TVirtualDevice& device);
  TScratchFolder folder_;
};

TCliRun CliThroughUsbAdapter::Run(sim::TVirtualDevice& device) {
  const std::string rate = RateText(GetParam().baudCode);
  const std::vector<std::string> at{"-p", Port(), "-a", "5", "-r", rate};
  const auto with = [&](std::vector<std::string> words) {
    words.insert(words.begin() + 1, at.begin(), at.end());
    return RunCli(words);
  };
  switch (GetParam().command) {
    case TCommand::Read: {
      const TCliRun run = with({"read"});
      EXPECT_NE(run.out.find("address           5\nrate              " + rate + " Bd"),
                std::string::npos)
          << run.out;
      return run;
    }
    case TCommand::On: {
      const TCliRun run = with({"on"});
      EXPECT_EQ(device.Register(3), device.Register(5));
      return run;
    }
    case TCommand::Off: {
      device.SetRegister(3, 2);
      const TCliRun run = with({"off"});
      EXPECT_EQ(device.Register(3), 0);
      return run;
    }
    case TCommand::Set: {
      const TCliRun run =
          with({"set", "--remember", "yes", "--new-address", "9", "--new-rate", "19200"});
      EXPECT_EQ(device.Address(), 9);
      EXPECT_EQ(device.BaudCode(), 6);
      EXPECT_EQ(device.Register(6), 1);
      return run;
    }
    case TCommand::Scan: {
      const TCliRun run =
          RunCli({"scan", "-p", Port(), "--from", "4", "--to", "6", "--rate", "all"});
      EXPECT_NE(run.out.find("found ТАРВИ-А at address 5, " + rate + " Bd: "), std::string::npos)
          << run.out;
      EXPECT_EQ(run.out.find("not read"), std::string::npos) << run.out;
      return run;
    }
    case TCommand::Apply: {
      folder_.Write("plan.csv",
                    "port,address,rate,power_up,on_command,remember,new_address,new_rate\n" +
                        Port() + ",5," + rate + ",3,,yes,9,19200\n");
      const TCliRun run = RunCli({"apply", (folder_.Path() / "plan.csv").string()});
      EXPECT_NE(run.out.find("1 rows: 1 changed, 0 unchanged, 0 failed"), std::string::npos)
          << run.out;
      EXPECT_EQ(device.Address(), 9);
      EXPECT_EQ(device.BaudCode(), 6);
      EXPECT_EQ(device.Register(4), 3);
      return run;
    }
    case TCommand::Watch: {
      const TCliRun run = with({"watch", "--count", "10", "--interval", "0"});
      EXPECT_NE(run.out.find("10 reads: 10 answers, 0 errors"), std::string::npos) << run.out;
      return run;
    }
    case TCommand::Monitor:
      break;
  }
  // The monitor: a second master reads the device and writes to it while the program listens.
  std::vector<std::string> argv{
      BinDir() + "/tarvi-cli", "monitor", "-p", Port(), "-r", rate, "--count", "12"};
  TChildProcess monitor(argv.front(), argv);
  EXPECT_TRUE(WaitUntil([&] { return bus_->PortInUse(); }, 10s)) << monitor.Stderr();
  sim::TMasterScript script{
      .rate = sim::RateOfBaudCode(GetParam().baudCode), .steps = {}, .repeat = 3};
  std::vector<std::uint8_t> read{5, 3, 0, 0, 0, 7};
  std::vector<std::uint8_t> write{5, 6, 0, 5, 0, 3};
  sim::AppendCrc(read);
  sim::AppendCrc(write);
  script.steps.push_back({.frame = read, .replyWithin = 350ms, .pause = 30ms});
  script.steps.push_back({.frame = write, .replyWithin = 350ms, .pause = 30ms});
  bus_->RunMaster(script);
  TCliRun run;
  const std::optional<int> status = monitor.Wait(30s);
  if (!status) {
    monitor.Signal(SIGINT);
    monitor.Wait(5s);
  }
  run.status = status.value_or(-1);
  run.out = monitor.Stdout();
  EXPECT_NE(run.out.find("12 frames in"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(": 0 garbled, 0 too close, 0 replies without a request, 0 of other "
                         "functions, 0 requests left open"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("5 read parameters -> ТАРВИ-А: mode 0 (off)"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("5 write on-command mode 3 (light flashing at 2 Hz and sound) -> "
                         "confirmed"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(bus_->BytesReceived(), 0u);  // it only listened
  return run;
}

TEST_P(CliThroughUsbAdapter, SameResultsAsOnAPlainLine) {
  sim::TVirtualDevice& device = Add(Device(5, 14, GetParam().baudCode));
  device.SetFaults(GetParam().faults);
  bus_->Start();
  const TCliRun run = Run(device);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  // No warning, no CRC error, no retry told: only the monitor says that it listens.
  if (GetParam().command != TCommand::Monitor) {
    EXPECT_EQ(run.err, "") << run.out;
  }
}

AdapterCase Case(TCommand command, std::uint8_t baudCode, std::chrono::milliseconds latency) {
  static const char* const names[] = {"Read", "On",    "Off",   "Set",
                                      "Scan", "Apply", "Watch", "Monitor"};
  return {std::string(names[static_cast<int>(command)]) + "At" + RateText(baudCode) +
              (latency.count() > 0 ? "Through" + std::to_string(latency.count()) + "ms"
                                   : std::string("OnAPlainLine")),
          command, baudCode, latency};
}

std::vector<AdapterCase> Cases() {
  std::vector<AdapterCase> cases;
  // Every command at 9600 Bd through the FTDI default.
  for (TCommand command : {TCommand::Read, TCommand::On, TCommand::Off, TCommand::Set,
                           TCommand::Scan, TCommand::Apply, TCommand::Watch, TCommand::Monitor})
    cases.push_back(Case(command, 4, 16ms));
  // Reads and back-to-back reads at a slow, the usual and a fast rate, through both timers.
  for (std::chrono::milliseconds latency : {16ms, 32ms})
    for (const std::uint8_t baudCode : {std::uint8_t{1}, std::uint8_t{4}, std::uint8_t{8}})
      for (TCommand command : {TCommand::Read, TCommand::Watch})
        if (!(baudCode == 4 && latency == 16ms)) cases.push_back(Case(command, baudCode, latency));
  // The longer timer on the commands that frame replies they did not ask for.
  cases.push_back(Case(TCommand::Scan, 4, 32ms));
  cases.push_back(Case(TCommand::Monitor, 4, 32ms));
  cases.push_back(Case(TCommand::Monitor, 8, 32ms));
  // A device that pauses for a tick before the 15th byte of each reply, on a plain line.
  for (TCommand command : {TCommand::Read, TCommand::Watch, TCommand::Scan}) {
    AdapterCase pausing = Case(command, 4, 0ms);
    pausing.name = std::string(command == TCommand::Read    ? "Read"
                               : command == TCommand::Watch ? "Watch"
                                                            : "Scan") +
                   "OfADeviceThatPauses16msWithinItsReply";
    pausing.faults.splitBefore = {15};
    pausing.faults.splitGap = 16ms;
    cases.push_back(pausing);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, CliThroughUsbAdapter, ::testing::ValuesIn(Cases()), CaseName());

}  // namespace
