// watch (a line per read, changes marked, the summary) and apply (a plan checked whole first,
// then carried out row by row).
#include <fstream>

#include "tests/cli/cli_fixture.h"
#include "tests/sim/child_process.h"
#include "tests/support/case_name.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/wait_until.h"

namespace {

using namespace std::chrono_literals;

// The program started with these words, for a test that acts while it runs.
TChildProcess StartCli(std::vector<std::string> args) {
  args.insert(args.begin(), BinDir() + "/tarvi-cli");
  return TChildProcess(args.front(), args);
}

TEST_F(CliOnBus, WatchMarksChangesAndSumsUp) {
  sim::TVirtualDevice& device = Add(Device(8));
  sim::TFaults faults;
  faults.silent = true;
  faults.count = 1;  // the second read gets no answer
  bus_->Start();
  TChildProcess child = StartCli(
      {"watch", "-p", Port(), "-a", "8", "--count", "4", "--interval", "400", "--timeout", "250"});
  // The faults and the registers change in the pause after the first read.
  const auto first = child.ReadLine(10s);
  ASSERT_TRUE(first) << child.Stderr();
  EXPECT_NE(first->find("#1    mode 0, power-up 0, on-command 2, remember no"), std::string::npos)
      << *first;
  device.SetFaults(faults);
  device.SetRegister(3, 2);
  device.SetRegister(6, 1);
  ASSERT_EQ(child.Wait(20s), 1);
  const std::string rest = child.Stdout();
  EXPECT_NE(rest.find("#2    no answer from 8 at 9600 Bd within 250 ms"), std::string::npos)
      << rest;
  EXPECT_NE(rest.find("#3    mode 2*, power-up 0, on-command 2, remember yes*"), std::string::npos)
      << rest;
  EXPECT_NE(rest.find("#4    mode 2, power-up 0, on-command 2, remember yes "), std::string::npos)
      << rest;
  EXPECT_NE(rest.find("4 reads: 3 answers, 1 errors (no_answer 1); reply time min"),
            std::string::npos)
      << rest;
}

TEST_F(CliOnBus, WatchAsOneJsonDocument) {
  Add(Device(8));
  bus_->Start();
  const TCliRun run =
      RunCli({"watch", "-p", Port(), "-a", "8", "--count", "3", "--interval", "0", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  ASSERT_EQ((*document)["reads"].items.size(), 3u);
  EXPECT_EQ((*document)["reads"][2]["block"]["model"].text, "ТАРВИ-А");
  EXPECT_EQ((*document)["summary"]["answers"].Int(), 3);
  EXPECT_GT((*document)["summary"]["median_ms"].number, 0.0);
}

// A reply corrupted at its function byte can never be whole: it ends at the gap. Its tail, which
// came after a longer pause, is dropped before the next request and never read as its reply.
TEST_F(CliOnBus, WatchNeverTakesTheTailOfACutReplyForTheNextReply) {
  sim::TVirtualDevice& device = Add(Device(8));
  sim::TFaults faults;
  faults.corruptByte = 1;
  faults.splitBefore = {10};
  faults.splitGap = 120ms;
  faults.count = 1;
  device.SetFaults(faults);
  bus_->Start();
  const TCliRun run = RunCli({"watch", "-p", Port(), "-a", "8", "--count", "3", "--interval", "0"});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("#1    CRC error in the reply from 8"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("#2    mode 0, power-up 0"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("3 reads: 2 answers, 1 errors (crc_error 1)"), std::string::npos)
      << run.out;
  // The reply times run from each write, not from the wait for a quiet line before it (over
  // 350 ms here: the time-out of the cut reply).
  device.SetFaults(faults);
  const TCliRun again =
      RunCli({"watch", "-p", Port(), "-a", "8", "--count", "2", "--interval", "0", "--json"});
  const auto faulted = ParseJson(again.out);
  ASSERT_TRUE(faulted) << again.out;
  EXPECT_LT((*faulted)["reads"][1]["ms"].number, 300.0) << again.out;
}

TEST_F(CliOnBus, WatchThatLosesItsPortEndsItsOneDocumentWithTheError) {
  sim::TVirtualDevice& device = Add(Device(8));
  bus_->Start();
  TChildProcess child = StartCli({"watch", "-p", Port(), "-a", "8", "--count", "3", "--interval",
                                  "1000", "--json", "--trace"});
  // The adapter is pulled out in the pause after the first read.
  ASSERT_TRUE(
      WaitUntil([&] { return child.Stderr().find("RX : 08 03") != std::string::npos; }, 10s))
      << child.Stderr();
  sim::TFaults faults;
  faults.hangUp = true;
  device.SetFaults(faults);
  ASSERT_EQ(child.Wait(20s), 3) << child.Stderr();
  const std::string out = child.Stdout();
  const auto document = ParseJson(out);  // one document, not the reads and then an error
  ASSERT_TRUE(document) << out;
  ASSERT_EQ((*document)["reads"].items.size(), 2u) << out;
  EXPECT_EQ((*document)["reads"][0]["block"]["model"].text, "ТАРВИ-А");
  EXPECT_EQ((*document)["summary"]["reads"].Int(), 2);
  EXPECT_EQ((*document)["summary"]["answers"].Int(), 1);
  EXPECT_EQ((*document)["error"]["kind"].text, "port");
  EXPECT_NE(child.Stderr().find("the port has gone"), std::string::npos) << child.Stderr();
}

class CliApply : public CliOnBus {
 protected:
  std::string Plan(const std::string& rows) {
    folder_.Write("plan.csv",
                  "port,address,rate,power_up,on_command,remember,new_address,new_rate\n" + rows);
    return (folder_.Path() / "plan.csv").string();
  }
  TScratchFolder folder_;
};

TEST_F(CliApply, RowsEndChangedUnchangedOrFailedAndAgainUnchanged) {
  sim::TVirtualDevice& moving = Add(Device(247));
  sim::TVirtualDevice& settled = Add(Device(20));
  sim::TVirtualDevice& silent = Add(Device(30));
  sim::TFaults faults;
  faults.silent = true;
  silent.SetFaults(faults);
  bus_->Start();
  const std::string plan = Plan(Port() + ",247,9600,3,,yes,5,19200\n" +  //
                                Port() + ",20,,0,2,no,,\n" +             //
                                Port() + ",30,,4,,,,\n");
  const TCliRun run = RunCli({"apply", plan});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_EQ(moving.Address(), 5);
  EXPECT_EQ(moving.BaudCode(), 6);
  EXPECT_EQ(moving.Register(4), 3);
  EXPECT_EQ(moving.Register(6), 1);
  EXPECT_EQ(RequestsTo(settled), 1u);  // one read, no write: it was as wanted
  EXPECT_NE(run.out.find(plan + ":2  " + Port() +
                         " 247 @9600: changed (power-up mode 3 (light "
                         "flashing at 2 Hz and sound), remember yes, "
                         "address 5, rate 19200 Bd)"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find(plan + ":3  " + Port() + " 20 @9600: unchanged"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find(plan + ":4  " + Port() +
                         " 30 @9600: failed: no answer from 30 at 9600 Bd within 350 ms"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("3 rows: 1 changed, 1 unchanged, 1 failed, 0 not tried"),
            std::string::npos)
      << run.out;

  // Applied again with the silent device answering: the moved device is found where the plan
  // sent it, and nothing is written.
  silent.ClearFaults();
  const TCliRun again = RunCli({"apply", plan, "--json"});
  EXPECT_EQ(again.status, 0) << again.out << again.err;
  const auto document = ParseJson(again.out);
  ASSERT_TRUE(document) << again.out;
  const TJsonValue& rows = (*document)["rows"];
  ASSERT_EQ(rows.items.size(), 3u);
  EXPECT_EQ(rows[0]["result"].text, "unchanged");
  EXPECT_EQ(rows[1]["result"].text, "unchanged");
  EXPECT_EQ(rows[2]["result"].text, "changed");
  EXPECT_EQ(silent.Register(4), 4);
  EXPECT_EQ((*document)["summary"]["failed"].Int(), 0);
}

TEST_F(CliApply, StopOnErrorLeavesTheRestUntried) {
  sim::TVirtualDevice& silent = Add(Device(30));
  sim::TVirtualDevice& after = Add(Device(31));
  sim::TFaults faults;
  faults.silent = true;
  silent.SetFaults(faults);
  bus_->Start();
  const TCliRun run =
      RunCli({"apply", Plan(Port() + ",30,,4,,,,\n" + Port() + ",31,,4,,,,\n"), "--stop-on-error"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(RequestsTo(after), 0u);
  EXPECT_NE(run.out.find("2 rows: 0 changed, 0 unchanged, 1 failed, 1 not tried"),
            std::string::npos)
      << run.out;
}

TEST_F(CliApply, APlanWithErrorsSendsNothing) {
  sim::TVirtualDevice& device = Add(Device(5));
  bus_->Start();
  const std::string plan = Plan(Port() + ",5,,3,,,,\n" + Port() + ",5,9600,1,,,,\n");
  const TCliRun run = RunCli({"apply", plan, "--json"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(plan + ":3: power_up '1' is not a mode the device knows"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("nothing was sent"), std::string::npos) << run.err;
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  EXPECT_EQ((*document)["errors"][0]["line"].Int(), 3);
  EXPECT_EQ(device.RequestCount(), 0u);

  const TCliRun missing = RunCli({"apply", plan + ".missing"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot read the plan"), std::string::npos) << missing.err;
}

TEST_F(CliApply, APortThatCannotBeOpenedIsStatusThree) {
  const TCliRun run = RunCli({"apply", Plan("/tmp/no-such-port-of-tarvi,5,,3,,,,\n")});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.out.find("failed: /tmp/no-such-port-of-tarvi: Unable to open com port"),
            std::string::npos)
      << run.out;
}

}  // namespace
