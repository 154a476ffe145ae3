// Adapters and devices that do not behave like a plain line: an adapter that echoes each request
// (--echo), a device whose echo of an address or rate write is lost, a device that takes a moment
// to move after its echo, and the RS-485 direction mode a pseudo-terminal refuses (--rs485).
#include "tests/cli/cli_fixture.h"
#include "tests/support/case_name.h"

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
                 {"read", "-p", "PORT", "-a", "5", "--echo", kTestGap},
                 0,
                 "model             ТАРВИ-А (id 14)\naddress           5\n"},
        EchoCase{"SetWithEcho",
                 {"set", "-p", "PORT", "-a", "5", "--power-up", "3", "--remember", "yes", "--echo",
                  kTestGap},
                 0,
                 "read back from 5 at 9600 Bd:"},
        EchoCase{"ScanWithEcho",
                 {"scan", "-p", "PORT", "--from", "3", "--to", "6", "--echo", kTestGap},
                 0,
                 "found ТАРВИ-А at address 5, 9600 Bd"},
        EchoCase{"ReadWithoutEcho",
                 {"read", "-p", "PORT", "-a", "5", kTestGap},
                 1,
                 "tarvi-cli: the adapter echoes the request: try --echo (the reply from 5 at "
                 "9600 Bd begins with the request's own bytes)\n"},
        EchoCase{"ScanWithoutEcho",
                 {"scan", "-p", "PORT", "--from", "3", "--to", "6", kTestGap},
                 1,
                 "the adapter echoes the request: try --echo"}),
    CaseName());

TEST_F(CliOnBus, TheEchoFaultHasItsOwnKindInJson) {
  Add(Device(5));
  bus_->SetEcho(true);
  bus_->Start();
  const TCliRun run = RunCli({"read", "-p", Port(), "-a", "5", "--json", kTestGap});
  EXPECT_EQ(run.status, 1) << run.err;
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  EXPECT_EQ((*document)["error"]["kind"].text, "echo");
}

TEST_F(CliOnBus, EchoOnAnAdapterThatDoesNotEchoReadsTheReplyAndWarns) {
  Add(Device(5));
  bus_->Start();
  const TCliRun run = RunCli({"read", "-p", Port(), "-a", "5", "--echo", kTestGap});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("ТАРВИ-А"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("--echo, but the adapter did not echo the request"), std::string::npos)
      << run.err;
}

}  // namespace
