// read, on, off and set against virtual devices: the decoded block, every fault of the line as
// a device error with its message, port errors, and values refused before anything is sent.
#include <stdlib.h>

#include "tests/cli/cli_fixture.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;

struct ReadCase {
  std::string name;
  sim::TDeviceConfig device;
  sim::TFaults faults;
  std::vector<std::string> args;
  int status;
  std::string expected;  // in stdout for status 0, in stderr otherwise
};

class CliRead : public CliOnBus, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(CliRead, ShowsTheBlockOrNamesTheFault) {
  sim::TVirtualDevice& device = Add(GetParam().device);
  device.SetFaults(GetParam().faults);
  bus_->Start();
  std::vector<std::string> args{"read", "-p", Port()};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const TCliRun run = RunCli(args);
  EXPECT_EQ(run.status, GetParam().status) << run.out << run.err;
  const std::string& where = GetParam().status == 0 ? run.out : run.err;
  EXPECT_NE(where.find(GetParam().expected), std::string::npos) << run.out << run.err;
}

sim::TFaults Faults(void (*set)(sim::TFaults&)) {
  sim::TFaults faults;
  set(faults);
  return faults;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliRead,
    ::testing::Values(
        ReadCase{"TarviAAt247",
                 Device(247),
                 {},
                 {"-a", "247"},
                 0,
                 "model             ТАРВИ-А (id 14)\naddress           247\n"
                 "rate              9600 Bd (code 4)\nmode now          0 (off)\n"
                 "power-up mode     0 (off)\non-command mode   2 (steady light and sound)\n"
                 "remember          no\n"},
        ReadCase{"TarviZAAt5And19200",
                 Device(5, 15, 6),
                 {},
                 {"-a", "5", "-r", "19200"},
                 0,
                 "ТАРВИ-З-А (id 15)\naddress           5\nrate              19200 Bd (code 6)"},
        ReadCase{"LateButWithinTheTimeOut",
                 Device(5),
                 Faults([](sim::TFaults& f) { f.late = 150ms; }),
                 {"-a", "5"},
                 0,
                 "ТАРВИ-А"},
        ReadCase{"SplitReplyReadToItsEnd",
                 Device(5),
                 Faults([](sim::TFaults& f) {
                   f.splitGap = 25ms;
                   f.splitBefore = {5, 12};
                 }),
                 {"-a", "5"},
                 0,
                 "ТАРВИ-А"},
        ReadCase{"BytesAfterTheReplyIgnored",
                 Device(5),
                 Faults([](sim::TFaults& f) {
                   f.extraBytes = {0x00, 0xFF};
                 }),
                 {"-a", "5"},
                 0,
                 "ТАРВИ-А"},
        ReadCase{"Silent",
                 Device(5),
                 Faults([](sim::TFaults& f) { f.silent = true; }),
                 {"-a", "5"},
                 1,
                 "tarvi-cli: no answer from 5 at 9600 Bd within 350 ms\n"},
        ReadCase{"SilentWithTimeout",
                 Device(5),
                 Faults([](sim::TFaults& f) { f.silent = true; }),
                 {"-a", "5", "--timeout", "120"},
                 1,
                 "no answer from 5 at 9600 Bd within 120 ms"},
        ReadCase{"SilentAt4800WaitsLonger",
                 Device(5, 14, 3),
                 Faults([](sim::TFaults& f) { f.silent = true; }),
                 {"-a", "5", "-r", "4800"},
                 1,
                 "no answer from 5 at 4800 Bd within 700 ms"},
        ReadCase{"DeafAtAnotherRate",
                 Device(5, 14, 6),
                 {},
                 {"-a", "5"},
                 1,
                 "no answer from 5 at 9600 Bd"},
        ReadCase{"TooLate",
                 Device(5),
                 Faults([](sim::TFaults& f) { f.late = 500ms; }),
                 {"-a", "5"},
                 1,
                 "no answer from 5 at 9600 Bd within 350 ms"},
        ReadCase{"Corrupt",
                 Device(5),
                 Faults([](sim::TFaults& f) { f.corruptByte = 4; }),
                 {"-a", "5"},
                 1,
                 "CRC error in the reply from 5 at 9600 Bd: 05 03 0E"},
        ReadCase{"Exception",
                 Device(5),
                 Faults([](sim::TFaults& f) { f.exceptionCode = 2; }),
                 {"-a", "5"},
                 1,
                 "device 5 at 9600 Bd refused the request: exception code 2"},
        ReadCase{"GarbageInstead",
                 Device(5),
                 Faults(
                     [](sim::TFaults& f) {
                       f.garbageBytes = 12;
                       f.garbage = sim::TGarbage::kInstead;
                     }),
                 {"-a", "5"},
                 1,
                 "tarvi-cli: CRC error in the reply from 5 at 9600 Bd: "},
        ReadCase{"NotOfTheFamily",
                 Device(5, 77),
                 {},
                 {"-a", "5"},
                 1,
                 "device 5 at 9600 Bd is not of the family (id 77)"},
        ReadCase{"ByteCount12",
                 Device(5),
                 Faults(
                     [](sim::TFaults& f) {
                       f.reply = {0x05, 0x03, 0x0C, 0, 14, 0, 5, 0, 4, 0, 0, 0, 0, 0, 2};
                     }),
                 {"-a", "5"},
                 1,
                 "wrong reply from 5 at 9600 Bd: a parameter block of 17 bytes (byte count 12)"},
        // A beginning of the reply is read on within the time-out, whatever the gap.
        ReadCase{"SplitLongerThanTheGapReadToItsEnd",
                 Device(5),
                 Faults(
                     [](sim::TFaults& f) {
                       f.splitGap = 40ms;
                       f.splitBefore = {9};
                     }),
                 {"-a", "5", "--gap", "5"},
                 0,
                 "ТАРВИ-А"},
        ReadCase{"HangUp",
                 Device(5),
                 Faults([](sim::TFaults& f) { f.hangUp = true; }),
                 {"-a", "5"},
                 3,
                 "the port has gone"}),
    CaseName());

TEST_F(CliOnBus, PortErrorsTellWhatToDo) {
  const TCliRun missing = RunCli({"read", "-p", "/tmp/no-such-port-of-tarvi", "-a", "5"});
  EXPECT_EQ(missing.status, 3);
  EXPECT_NE(missing.err.find("/tmp/no-such-port-of-tarvi: Unable to open com port (win error "
                             "code: 2)\n  no such port: is the adapter plugged in?"),
            std::string::npos)
      << missing.err;
}

TEST_F(CliOnBus, RussianMessagesByLang) {
  sim::TVirtualDevice& device = Add(Device(5));
  device.SetFaults(Faults([](sim::TFaults& f) { f.silent = true; }));
  bus_->Start();
  setenv("LANG", "ru_RU.UTF-8", 1);
  const TCliRun run = RunCli({"read", "-p", Port(), "-a", "5"});
  unsetenv("LANG");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("нет ответа от 5 на 9600 Бод за 350 мс"), std::string::npos) << run.err;
}

TEST_F(CliOnBus, ReadAsJson) {
  Add(Device(9, 15, 4));
  bus_->Start();
  const TCliRun run = RunCli({"read", "-p", Port(), "-a", "9", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  EXPECT_EQ((*document)["address"].Int(), 9);
  EXPECT_EQ((*document)["rate"].Int(), 9600);
  EXPECT_EQ((*document)["block"]["model"].text, "ТАРВИ-З-А");
  EXPECT_EQ((*document)["block"]["on_command"].Int(), 2);
  EXPECT_FALSE((*document)["block"]["remember"].boolean);
  EXPECT_GT((*document)["reply_ms"].number, 0.0);
}

TEST_F(CliOnBus, ErrorsAsJson) {
  sim::TVirtualDevice& device = Add(Device(9));
  device.SetFaults(Faults([](sim::TFaults& f) { f.exceptionCode = 4; }));
  bus_->Start();
  const TCliRun run = RunCli({"on", "-p", Port(), "-a", "9", "--json"});
  EXPECT_EQ(run.status, 1);
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  EXPECT_EQ((*document)["error"]["kind"].text, "exception");
}

TEST_F(CliOnBus, OnAndOffAreConfirmedByTheEcho) {
  sim::TVirtualDevice& device = Add(Device(17));
  bus_->Start();
  const TCliRun on = RunCli({"on", "-p", Port(), "-a", "17"});
  EXPECT_EQ(on.status, 0) << on.err;
  EXPECT_EQ(device.Register(3), device.Register(5));  // on: the mode for the "on" command
  EXPECT_NE(on.out.find("device 17 at 9600 Bd on " + Port() + ": switched on"), std::string::npos)
      << on.out;
  const TCliRun off = RunCli({"off", "-p", Port(), "-a", "17", "-q"});
  EXPECT_EQ(off.status, 0) << off.err;
  EXPECT_EQ(device.Register(3), 0);
  EXPECT_EQ(off.out + off.err, "");  // -q: nothing at all on success
}

TEST_F(CliOnBus, SetWritesAllThenMovesTheDeviceAndFollowsIt) {
  sim::TVirtualDevice& device = Add(Device(247));
  bus_->Start();
  const TCliRun run = RunCli({"set", "-p", Port(), "-a", "247", "--power-up", "3", "--on-command",
                              "7", "--remember", "yes", "--new-address", "5", "--new-rate", "19200",
                              "--json", "--trace"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(device.Register(4), 3);
  EXPECT_EQ(device.Register(5), 7);
  EXPECT_EQ(device.Register(6), 1);
  EXPECT_EQ(device.Address(), 5);
  EXPECT_EQ(device.BaudCode(), 6);
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  const TJsonValue& writes = (*document)["writes"];
  ASSERT_EQ(writes.items.size(), 5u);
  const char* order[] = {"power_up", "on_command", "remember", "address", "rate"};
  for (std::size_t i = 0; i < 5; ++i)
    EXPECT_EQ(writes[i]["field"].text, order[i]);
  EXPECT_EQ((*document)["block"]["address"].Int(), 5);
  EXPECT_EQ((*document)["block"]["rate"].Int(), 19200);
  // The trace: the rate write goes to the new address, the read-back follows at the new rate
  // (the device would not hear it at the old one).
  EXPECT_NE(run.err.find("TX : 05 06 00 02 00 06 "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("TX : 05 03 00 00 00 07 "), std::string::npos) << run.err;
}

struct RefusalCase {
  std::string name;
  std::vector<std::string> args;
  std::string message;
};

class CliRefusal : public CliOnBus, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CliRefusal, StatusTwoAndNothingSent) {
  sim::TVirtualDevice& device = Add(Device(5));
  bus_->Start();
  std::vector<std::string> args = GetParam().args;
  for (std::string& arg : args)
    if (arg == "PORT") arg = Port();
  const TCliRun run = RunCli(args);
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
  EXPECT_EQ(device.RequestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliRefusal,
    ::testing::Values(
        RefusalCase{"ModeOne",
                    {"set", "-p", "PORT", "-a", "5", "--power-up", "1"},
                    "--power-up '1' is not a mode the device knows (0 and 2..10)"},
        RefusalCase{"ModeEleven",
                    {"set", "-p", "PORT", "-a", "5", "--remember", "no", "--on-command", "11"},
                    "--on-command '11' is not a mode"},
        RefusalCase{"RememberMaybe",
                    {"set", "-p", "PORT", "-a", "5", "--remember", "maybe"},
                    "neither yes nor no"},
        RefusalCase{"NewAddress248",
                    {"set", "-p", "PORT", "-a", "5", "--new-address", "248"},
                    "--new-address '248' is not an address 1..247"},
        RefusalCase{"NewRateOutsideTheList",
                    {"set", "-p", "PORT", "-a", "5", "--power-up", "2", "--new-rate", "115200"},
                    "--new-rate '115200' is not one of the rates"},
        RefusalCase{"NothingToSet", {"set", "-p", "PORT", "-a", "5"}, "nothing to set"},
        RefusalCase{"AddressZero", {"read", "-p", "PORT", "-a", "0"}, "address '0' is not an"},
        RefusalCase{"NoAddress", {"on", "-p", "PORT"}, "which device?"},
        RefusalCase{"NoPort", {"read", "-a", "5"}, "which port?"},
        RefusalCase{"RateOutsideTheList",
                    {"read", "-p", "PORT", "-a", "5", "-r", "9601"},
                    "rate '9601' is not one of the rates"},
        RefusalCase{"UnknownOption",
                    {"read", "-p", "PORT", "-a", "5", "--colour"},
                    "unknown option '--colour'\nTry 'tarvi-cli read --help'."},
        RefusalCase{"UnknownCommand",
                    {"reboot", "-p", "PORT"},
                    "unknown command 'reboot'\nTry 'tarvi-cli --help'."},
        RefusalCase{"ScanFromAboveTo",
                    {"scan", "-p", "PORT", "--from", "9", "--to", "3"},
                    "--from 9 is above --to 3"},
        RefusalCase{"ScanRateList",
                    {"scan", "-p", "PORT", "--rate", "9600,300"},
                    "--rate '300' is not one of the rates"}),
    CaseName());

}  // namespace
