// scan against several devices on one line at different addresses, ids and rates, with the
// faults of the line; --json lines, --first, and a hang-up in the middle of a scan.
#include "tests/cli/cli_fixture.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;

std::vector<TJsonValue> Events(const std::string& out, const char* kind) {
  std::vector<TJsonValue> events;
  const auto lines = ParseJsonLines(out);
  EXPECT_TRUE(lines) << "not JSON lines:\n" << out;
  if (!lines) return events;
  for (const TJsonValue& line : *lines)
    if (line["event"].text == kind) events.push_back(line);
  return events;
}

TEST_F(CliOnBus, ScanFindsEveryDeviceAtItsRateAndTellsOthersApart) {
  Add(Device(3, 15, 4));
  Add(Device(9, 14, 6));
  Add(Device(12, 77, 4));  // another family
  Add(Device(6, 14, 1));   // 1200 Bd: not in the scanned rates
  bus_->Start();
  const TCliRun run =
      RunCli({"scan", "-p", Port(), "--to", "12", "--rate", "9600,19200", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<TJsonValue> found = Events(run.out, "found");
  ASSERT_EQ(found.size(), 2u) << run.out;
  EXPECT_EQ(found[0]["address"].Int(), 3);
  EXPECT_EQ(found[0]["rate"].Int(), 9600);
  EXPECT_EQ(found[0]["model"].text, "ТАРВИ-З-А");
  EXPECT_EQ(found[0]["block"]["address"].Int(), 3);
  EXPECT_EQ(found[1]["address"].Int(), 9);
  EXPECT_EQ(found[1]["rate"].Int(), 19200);
  EXPECT_EQ(found[1]["block"]["rate"].Int(), 19200);
  const std::vector<TJsonValue> others = Events(run.out, "other");
  ASSERT_EQ(others.size(), 1u);
  EXPECT_EQ(others[0]["address"].Int(), 12);
  EXPECT_EQ(others[0]["id"].Int(), 77);
  const std::vector<TJsonValue> end = Events(run.out, "end");
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0]["found"].Int(), 2);
  EXPECT_EQ(end[0]["probes"].Int(), 24);
}

TEST_F(CliOnBus, ScanAtEveryRateFindsASlowDevice) {
  Add(Device(2, 14, 1));  // 1200 Bd: a probe and its reply take 125 ms on the line
  bus_->Start();
  // A generous delay: at 1200 Bd the reply begins 96 ms after the write on an idle machine.
  const TCliRun run =
      RunCli({"scan", "-p", Port(), "--to", "2", "--rate", "all", "--delay", "400"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("found ТАРВИ-А at address 2, 1200 Bd: mode 0, power-up 0, on-command 2, "
                         "remember no\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("1 of the family found, 0 of other families; 16 probes"),
            std::string::npos)
      << run.out;
}

TEST_F(CliOnBus, ScanFirstStopsAtTheFirstFind) {
  Add(Device(2));
  sim::TVirtualDevice& later = Add(Device(4));
  bus_->Start();
  const TCliRun run = RunCli({"scan", "-p", Port(), "--first", "--to", "6"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("found ТАРВИ-А at address 2"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("address 4"), std::string::npos) << run.out;
  // Frames heard by the device at 4: the probes to 1 and 2 and the block read of 2, none its own.
  for (const sim::TRequestRecord& request : later.Requests())
    EXPECT_NE(request.bytes[0], 4) << "probe to 4 sent";
}

TEST_F(CliOnBus, ScanWithNothingOnTheLineEndsWithStatusOne) {
  bus_->Start();
  const TCliRun run =
      RunCli({"scan", "-p", Port(), "--from", "100", "--to", "104", "--delay", "40"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no device of the family answered"), std::string::npos) << run.err;
}

struct ScanFaultCase {
  std::string name;
  sim::TFaults faults;
  std::string inOut;  // expected in stdout
  std::string inErr;  // expected in stderr; empty: stderr stays empty (no warning)
};

class CliScanFaults : public CliOnBus, public ::testing::WithParamInterface<ScanFaultCase> {};

// A faulty device at 4 and a good one at 6: the scan goes on past the fault and finds 6.
TEST_P(CliScanFaults, GoOnPastTheFault) {
  sim::TVirtualDevice& faulty = Add(Device(4));
  faulty.SetFaults(GetParam().faults);
  Add(Device(6, 15));
  bus_->Start();
  const TCliRun run = RunCli({"scan", "-p", Port(), "--to", "7"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("found ТАРВИ-З-А at address 6, 9600 Bd"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(GetParam().inOut), std::string::npos) << run.out;
  if (GetParam().inErr.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(GetParam().inErr), std::string::npos) << run.err;
  }
}

sim::TFaults Faults(void (*set)(sim::TFaults&)) {
  sim::TFaults faults;
  set(faults);
  return faults;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliScanFaults,
    ::testing::Values(
        ScanFaultCase{"Silent", Faults([](sim::TFaults& f) { f.silent = true; }),
                      "1 of the family found, 0 of other", ""},
        ScanFaultCase{"Corrupt", Faults([](sim::TFaults& f) { f.corruptByte = 3; }),
                      "1 of the family found", "garbled reply at address 4, 9600 Bd (CRC error)"},
        ScanFaultCase{"Exception", Faults([](sim::TFaults& f) { f.exceptionCode = 1; }),
                      "address 4, 9600 Bd: a device of another family (exception code 1)", ""},
        // The reply starts after the probe's window: it lands in the window of the probe to 5
        // and is credited to its sender.
        ScanFaultCase{"Late", Faults([](sim::TFaults& f) {
                        f.late = 200ms;
                        f.count = 1;
                      }),
                      "found ТАРВИ-А at address 4, 9600 Bd", ""},
        ScanFaultCase{"Split", Faults([](sim::TFaults& f) {
                        f.splitGap = 20ms;
                        f.splitBefore = {3};
                      }),
                      "found ТАРВИ-А at address 4", ""},
        ScanFaultCase{"GarbageInstead", Faults([](sim::TFaults& f) {
                        f.garbageBytes = 9;
                        f.garbage = sim::TGarbage::kInstead;
                      }),
                      "1 of the family found", "garbled reply at address 4"}),
    CaseName());

TEST_F(CliOnBus, HangUpMidScanIsAPortError) {
  Add(Device(2));
  sim::TVirtualDevice& unplugging = Add(Device(5));
  sim::TFaults faults;
  faults.hangUp = true;
  unplugging.SetFaults(faults);
  bus_->Start();
  const TCliRun run = RunCli({"scan", "-p", Port(), "--to", "9", "--json"});
  EXPECT_EQ(run.status, 3) << run.out << run.err;
  // The find before the hang-up was printed as it came; the error names the port and what to do.
  const auto lines = ParseJsonLines(run.out);
  ASSERT_TRUE(lines) << run.out;
  ASSERT_GE(lines->size(), 2u);
  EXPECT_EQ((*lines)[0]["event"].text, "found");
  EXPECT_EQ((*lines)[0]["address"].Int(), 2);
  EXPECT_EQ(lines->back()["error"]["kind"].text, "port");
  EXPECT_NE(run.err.find("the port has gone"), std::string::npos) << run.err;
}

}  // namespace
