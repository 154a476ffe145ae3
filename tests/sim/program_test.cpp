// tarvi-sim as a program: its ready line, signals, command-line errors, and a peer master
// (mbpoll) that must agree with it.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "tests/sim/child_process.h"
#include "tests/sim/tiny_master.h"
#include "tests/support/case_name.h"
#include "tests/support/wait_until.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kQuery = "F7 03 00 00 00 07 10 9E";
const std::string kWorkedReply = "F7 03 0E 00 0E 00 00 00 00 00 02 00 03 00 06 00 01 18 08";

std::string Program(const std::string& name) {
  return BinDir() + "/" + name;
}

// Where a program is found on PATH, or "".
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

class SimProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BinDir().empty());
    char pattern[] = "/tmp/tarvi-sim-program-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    link_ = dir_ + "/COM1";
  }

  void TearDown() override {
    sim_.reset();
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

  // Starts tarvi-sim --link <link_> args... and returns its slave path from the ready line.
  std::string Start(std::vector<std::string> args) {
    args.insert(args.begin(), {Program("tarvi-sim"), "--link", link_});
    sim_ = std::make_unique<TChildProcess>(args[0], args);
    const std::optional<std::string> line = sim_->ReadLine(10s);
    if (!line) {
      ADD_FAILURE() << "no ready line; stderr: " << sim_->Stderr();
      return "";
    }
    const std::size_t blank = line->find(' ');
    EXPECT_NE(blank, std::string::npos) << *line;
    EXPECT_EQ(line->substr(blank + 1), link_);
    return line->substr(0, blank);
  }

  std::string dir_;
  std::string link_;
  std::unique_ptr<TChildProcess> sim_;
};

struct StopCase {
  std::string name;
  int signal;
};

void PrintTo(const StopCase& row, std::ostream* os) {
  *os << row.name;
}

class SimProgramStops : public SimProgram, public ::testing::WithParamInterface<StopCase> {};

TEST_P(SimProgramStops, PrintsItsPathsAnswersAndRemovesItsLinkOnTheSignal) {
  const std::string slave = Start({"--regs", "14:0:0:2:3:6:1"});
  ASSERT_FALSE(slave.empty());
  EXPECT_EQ(fs::read_symlink(link_), slave);
  {
    TTinyMaster master(link_, 9600);
    master.Write(FromHex(kQuery));
    EXPECT_EQ(ToHex(master.Read(19, 1s).All()), kWorkedReply);
  }
  sim_->Signal(GetParam().signal);
  EXPECT_EQ(sim_->Wait(10s), 0) << sim_->Stderr();
  EXPECT_FALSE(fs::exists(fs::symlink_status(link_)));
}

INSTANTIATE_TEST_SUITE_P(Sim, SimProgramStops,
                         ::testing::Values(StopCase{"OnSigterm", SIGTERM},
                                           StopCase{"OnSigint", SIGINT}),
                         CaseName());

TEST_F(SimProgram, PutsSeveralDevicesWithTheirFaultsOnOneLine) {
  Start({"--device", "addr=5,id=14", "--device", "addr=9,id=15,exception=4"});
  TTinyMaster master(link_, 9600);
  master.Write(FromHex("05 03 00 00 00 01 85 8E"));
  EXPECT_EQ(ToHex(master.Read(7, 1s).All()), "05 03 02 00 0E C8 40");
  master.Write(FromHex("09 03 00 00 00 01 85 42"));
  EXPECT_EQ(ToHex(master.Read(5, 1s).All()), "09 83 04 C1 31");
}

TEST_F(SimProgram, PullsTheAdapterOutAndPlugsItBackOnSignals) {
  Start({});
  auto master = std::make_unique<TTinyMaster>(link_, 9600);
  sim_->Signal(SIGUSR1);
  EXPECT_TRUE(master->Read(1, 5s).hungUp);
  ASSERT_TRUE(WaitUntil([&] { return !fs::exists(fs::symlink_status(link_)); }, 5s));
  master.reset();

  sim_->Signal(SIGUSR2);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(link_); }, 5s));
  TTinyMaster again(link_, 9600);
  again.Write(FromHex("F7 03 00 00 00 01 90 9C"));
  EXPECT_EQ(ToHex(again.Read(7, 1s).All()), "F7 03 02 00 0E F1 95");
}

TEST_F(SimProgram, RefusesALinkPathThatIsAnotherFile) {
  { std::ofstream(link_) << "not a link"; }
  TChildProcess sim(Program("tarvi-sim"), {Program("tarvi-sim"), "--link", link_});
  EXPECT_EQ(sim.Wait(10s), 1);
  EXPECT_NE(sim.Stderr().find("is not a link"), std::string::npos) << sim.Stderr();
}

struct LineCase {
  std::string name;
  std::vector<std::string> args;
  int status;
};

void PrintTo(const LineCase& row, std::ostream* os) {
  *os << row.name;
}

class SimCommandLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SimCommandLine, EndsWithTheRightStatusAndAMessage) {
  std::vector<std::string> args = GetParam().args;
  args.insert(args.begin(), Program("tarvi-sim"));
  TChildProcess sim(args[0], args);
  const std::optional<std::string> first = sim.ReadLine(10s);
  EXPECT_EQ(sim.Wait(10s), GetParam().status);
  if (GetParam().status == 0) {
    EXPECT_EQ(first, "Usage: tarvi-sim [OPTION]...");
  } else {
    EXPECT_NE(sim.Stderr().find("Try 'tarvi-sim --help'."), std::string::npos) << sim.Stderr();
  }
}

INSTANTIATE_TEST_SUITE_P(Sim, SimCommandLine,
                         ::testing::Values(LineCase{"Help", {"--help"}, 0},
                                           LineCase{"UnknownOption", {"--frobnicate"}, 2},
                                           LineCase{"BadNumber", {"--address", "300"}, 2},
                                           LineCase{"MissingValue", {"--device"}, 2},
                                           LineCase{
                                               "BadDeviceSpec", {"--device", "addr=5,,id=3"}, 2}),
                         CaseName());

// A peer master reads and writes the virtual device over a pseudo-terminal exactly as the product
// does; if the two disagree, one of them has the protocol wrong.
TEST_F(SimProgram, PeerMasterMbpollReadsTheRegistersAndGetsItsWriteEchoed) {
  const std::string mbpoll = FindOnPath("mbpoll");
  if (mbpoll.empty()) GTEST_SKIP() << "mbpoll is not installed (Debian package mbpoll)";
  const std::string slave = Start({"--regs", "14:0:0:2:3:6:1"});
  ASSERT_FALSE(slave.empty());
  const std::vector<std::string> common = {mbpoll, "-m", "rtu", "-a", "247", "-b", "9600", "-P",
                                           "none", "-t", "4",   "-0", "-1",  "-o", "1"};
  const auto run = [&](std::vector<std::string> more) {
    std::vector<std::string> args = common;
    args.insert(args.end(), more.begin(), more.end());
    TChildProcess peer(mbpoll, args);
    std::string out;
    while (const std::optional<std::string> line = peer.ReadLine(10s))
      out += *line + "\n";
    EXPECT_EQ(peer.Wait(10s), 0) << out << peer.Stderr();
    return out;
  };

  const std::string read = run({"-r", "0", "-c", "7", slave});
  for (const char* value : {"[0]: \t14\n", "[1]: \t0\n", "[2]: \t0\n", "[3]: \t2\n", "[4]: \t3\n",
                            "[5]: \t6\n", "[6]: \t1\n"})
    EXPECT_NE(read.find(value), std::string::npos) << value << " missing from\n" << read;

  // mbpoll checks the echo of a write itself and fails on a mismatch.
  EXPECT_NE(run({"-r", "3", slave, "1"}).find("Written 1 references."), std::string::npos);
  // Switched on, the device runs the mode of register 5.
  EXPECT_NE(run({"-r", "3", "-c", "1", slave}).find("[3]: \t6\n"), std::string::npos);
}

}  // namespace
