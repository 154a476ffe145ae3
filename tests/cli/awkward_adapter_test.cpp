// Adapters and devices that do not behave like a plain line: an adapter that echoes each request
// (--echo), a device whose echo of an address or rate write is lost, a device that takes a moment
// to move after its echo, and the RS-485 direction mode a pseudo-terminal refuses (--rs485).
#include "tests/cli/cli_fixture.h"
#include "tests/support/case_name.h"
#include "tests/support/fake_sysfs.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::string> WithPort(std::vector<std::string> args, const std::string& port) {
  for (std::string& arg : args)
    if (arg == "PORT") arg = port;
  return args;
}

struct EchoCase {
  std::string name;
  std::vector<std::string> args;  // PORT stands for the line's port
  int status;
  std::string expected;  // in stdout for status 0, in stderr otherwise
};

class CliOnEchoingAdapter : public CliOnBus, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(CliOnEchoingAdapter, DropsTheCopyWithEchoAndSaysSoWithout) {
  sim::TVirtualDevice& device = Add(Device(5));
  bus_->SetEcho(true);
  bus_->Start();
  const TCliRun run = RunCli(WithPort(GetParam().args, Port()));
  EXPECT_EQ(run.status, GetParam().status) << run.out << run.err;
  const std::string& where = GetParam().status == 0 ? run.out : run.err;
  EXPECT_NE(where.find(GetParam().expected), std::string::npos) << run.out << run.err;
  if (GetParam().status != 0) {
    // Named as what it is, never as a CRC error of the glued bytes.
    EXPECT_EQ(run.err.find("CRC error"), std::string::npos) << run.err;
  }
  if (GetParam().name == "SetWithEcho") {
    EXPECT_EQ(device.Register(4), 3);
    EXPECT_EQ(device.Register(6), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliOnEchoingAdapter,
    ::testing::Values(
        EchoCase{"ReadWithEcho",
                 {"read", "-p", "PORT", "-a", "5", "--echo"},
                 0,
                 "model             ТАРВИ-А (id 14)\naddress           5\n"},
        EchoCase{"SetWithEcho",
                 {"set", "-p", "PORT", "-a", "5", "--power-up", "3", "--remember", "yes", "--echo"},
                 0,
                 "read back from 5 at 9600 Bd:"},
        EchoCase{"ScanWithEcho",
                 {"scan", "-p", "PORT", "--from", "3", "--to", "6", "--echo"},
                 0,
                 "found ТАРВИ-А at address 5, 9600 Bd"},
        EchoCase{"ReadWithoutEcho",
                 {"read", "-p", "PORT", "-a", "5"},
                 1,
                 "tarvi-cli: the adapter echoes the request: try --echo (the reply from 5 at "
                 "9600 Bd begins with the request's own bytes)\n"},
        EchoCase{"ScanWithoutEcho",
                 {"scan", "-p", "PORT", "--from", "3", "--to", "6"},
                 1,
                 "the adapter echoes the request: try --echo"}),
    CaseName());

TEST_F(CliOnBus, TheEchoFaultHasItsOwnKindInJson) {
  Add(Device(5));
  bus_->SetEcho(true);
  bus_->Start();
  const TCliRun run = RunCli({"read", "-p", Port(), "-a", "5", "--json"});
  EXPECT_EQ(run.status, 1) << run.err;
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  EXPECT_EQ((*document)["error"]["kind"].text, "echo");
}

TEST_F(CliOnBus, EchoOnAnAdapterThatDoesNotEchoReadsTheReplyAndWarns) {
  Add(Device(5));
  bus_->Start();
  const TCliRun run = RunCli({"read", "-p", Port(), "-a", "5", "--echo"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("ТАРВИ-А"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("--echo, but the adapter did not echo the request"), std::string::npos)
      << run.err;
}

// A device that took an address or rate write whose echo never came: set looks for it once
// where the write sent it.
struct LostEchoCase {
  std::string name;
  std::vector<std::string> setting;
  std::uint8_t movedAddress;
  std::uint8_t movedBaudCode;
  std::string warning;
};

class CliLostEcho : public CliOnBus, public ::testing::WithParamInterface<LostEchoCase> {};

TEST_P(CliLostEcho, FoundWhereTheWriteSentItIsDoneWithAWarning) {
  sim::TVirtualDevice& device = Add(Device(5));
  device.SetFaults({.loseReply = true, .count = 1});
  bus_->Start();
  std::vector<std::string> args{"set", "-p", Port(), "-a", "5", "--json"};
  args.insert(args.end(), GetParam().setting.begin(), GetParam().setting.end());
  const TCliRun run = RunCli(args);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(device.Address(), GetParam().movedAddress);
  EXPECT_EQ(device.BaudCode(), GetParam().movedBaudCode);
  EXPECT_NE(run.err.find("warning: the echo of the write of " + GetParam().warning),
            std::string::npos)
      << run.err;
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  ASSERT_EQ((*document)["warnings"].items.size(), 1u) << run.out;
  EXPECT_EQ((*document)["block"]["address"].Int(), GetParam().movedAddress);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliLostEcho,
    ::testing::Values(LostEchoCase{"NewRate",
                                   {"--new-rate", "19200"},
                                   5,
                                   6,
                                   "rate 19200 Bd to 5 at 9600 Bd was lost, but the device "
                                   "answers at 5, 19200 Bd: the change was made"},
                      LostEchoCase{"NewAddress",
                                   {"--new-address", "12"},
                                   12,
                                   4,
                                   "address 12 to 5 at 9600 Bd was lost, but the device answers "
                                   "at 12, 9600 Bd: the change was made"}),
    CaseName());

TEST_F(CliOnBus, LostEchoAndNotFoundWhereTheWriteSentItNamesBothPlaces) {
  sim::TVirtualDevice& device = Add(Device(5));
  device.SetFaults({.loseReply = true, .count = 1});
  device.SetMoveDelay(5s);  // still switching long after the one-second search
  bus_->Start();
  const TCliRun run = RunCli({"set", "-p", Port(), "-a", "5", "--new-rate", "19200"});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("tarvi-cli: no answer from 5 at 9600 Bd within 350 ms to the write of "
                         "rate 19200 Bd, nor from 5 at 19200 Bd, where the write would have "
                         "moved it\n"),
            std::string::npos)
      << run.err;
}

// A device that moves 50 ms after its echo: every request after the move waits and asks again.
struct SlowMoveCase {
  std::string name;
  std::vector<std::string> setting;
  std::uint8_t movedAddress;
  std::uint8_t movedBaudCode;
};

class CliSlowMove : public CliOnBus, public ::testing::WithParamInterface<SlowMoveCase> {};

TEST_P(CliSlowMove, SetWaitsForTheDeviceAndSaysSoInTheTrace) {
  sim::TVirtualDevice& device = Add(Device(5));
  device.SetMoveDelay(50ms);
  bus_->Start();
  std::vector<std::string> args{"set", "-p", Port(), "-a", "5", "--trace"};
  args.insert(args.end(), GetParam().setting.begin(), GetParam().setting.end());
  const TCliRun run = RunCli(args);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(device.Address(), GetParam().movedAddress);
  EXPECT_EQ(device.BaudCode(), GetParam().movedBaudCode);
  EXPECT_NE(run.err.find("   : waiting "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" ms for the device to settle after the move"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("after the move: the device may still be moving; asking again"),
            std::string::npos)
      << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliSlowMove,
    ::testing::Values(SlowMoveCase{"NewRate", {"--new-rate", "19200"}, 5, 6},
                      SlowMoveCase{"NewAddress", {"--new-address", "12"}, 12, 4},
                      SlowMoveCase{"Both", {"--new-address", "12", "--new-rate", "38400"}, 12, 7}),
    CaseName());

TEST_F(CliOnBus, ApplyWaitsForADeviceThatMovesSlowly) {
  sim::TVirtualDevice& device = Add(Device(247));
  device.SetMoveDelay(50ms);
  bus_->Start();
  TScratchFolder folder;
  folder.Write("plan.csv", "port,address,rate,power_up,on_command,remember,new_address,new_rate\n" +
                               Port() + ",247,9600,3,,,5,19200\n");
  const TCliRun run = RunCli({"apply", (folder.Path() / "plan.csv").string()});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("1 rows: 1 changed, 0 unchanged, 0 failed"), std::string::npos) << run.out;
  EXPECT_EQ(device.Address(), 5);
  EXPECT_EQ(device.BaudCode(), 6);
  EXPECT_EQ(device.Register(4), 3);
}

// A pseudo-terminal has no RTS to switch: the RS-485 mode is refused, naming the driver, before
// anything is sent.
TEST_F(CliOnBus, Rs485OnAPseudoTerminalIsRefusedWithItsDriver) {
  sim::TVirtualDevice& device = Add(Device(5));
  bus_->Start();
  for (const std::string command : {"read", "scan"}) {
    std::vector<std::string> args{command, "-p", Port(), "--rs485", "--json"};
    if (command == "read") args.insert(args.end(), {"-a", "5"});
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.status, 3) << command << run.out << run.err;
    EXPECT_NE(run.err.find("tarvi-cli: " + Port() +
                           ": the driver pty_slave refuses the RS-485 mode (RTS on while "
                           "sending, off after; error code 25)"),
              std::string::npos)
        << run.err;
    const auto document = ParseJson(run.out);
    ASSERT_TRUE(document) << run.out;
    EXPECT_EQ((*document)["error"]["kind"].text, "port");
  }
  EXPECT_EQ(device.RequestCount(), 0u);
}

}  // namespace
