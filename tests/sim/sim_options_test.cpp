#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_options.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;

sim::TSimOptions Parse(const std::vector<std::string_view>& args) {
  return sim::ParseSimOptions(args);
}

struct GoodLine {
  std::string name;
  std::vector<std::string_view> args;
  std::function<void(const sim::TSimOptions&)> check;
};

void PrintTo(const GoodLine& row, std::ostream* os) {
  *os << row.name;
}

class GoodCommandLines : public ::testing::TestWithParam<GoodLine> {};

TEST_P(GoodCommandLines, AreUnderstood) {
  const sim::TSimOptions options = Parse(GetParam().args);
  ASSERT_FALSE(options.devices.empty());
  GetParam().check(options);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, GoodCommandLines,
    ::testing::Values(
        GoodLine{"NothingGivesOneDeviceOfTheFamilyAt247And9600",
                 {},
                 [](const sim::TSimOptions& o) {
                   ASSERT_EQ(o.devices.size(), 1U);
                   EXPECT_EQ(o.devices[0].config.address, 247);
                   EXPECT_EQ(o.devices[0].config.id, 14);
                   EXPECT_EQ(o.devices[0].config.baudCode, 4);
                   EXPECT_TRUE(o.linkPath.empty());
                   EXPECT_FALSE(o.verbose);
                   EXPECT_FALSE(o.echo);
                 }},
        GoodLine{"AnEchoingAdapter",
                 {"--echo", "-a", "5"},
                 [](const sim::TSimOptions& o) {
                   EXPECT_TRUE(o.echo);
                   EXPECT_EQ(o.devices[0].config.address, 5);
                 }},
        GoodLine{"AUsbAdapter",
                 {"--usb-latency", "16"},
                 [](const sim::TSimOptions& o) {
                   ASSERT_TRUE(o.usbLatency);
                   EXPECT_EQ(o.usbLatency->count(), 16);
                 }},
        GoodLine{"SingleDeviceOptionsBothSpellings",
                 {"-a", "5", "--id=15", "--baud", "6", "--link", "/tmp/x/COM1", "-v"},
                 [](const sim::TSimOptions& o) {
                   ASSERT_EQ(o.devices.size(), 1U);
                   EXPECT_EQ(o.devices[0].config.address, 5);
                   EXPECT_EQ(o.devices[0].config.id, 15);
                   EXPECT_EQ(o.devices[0].config.baudCode, 6);
                   EXPECT_EQ(o.linkPath, "/tmp/x/COM1");
                   EXPECT_TRUE(o.verbose);
                 }},
        GoodLine{"RegsWithSkippedFields",
                 {"--regs", "14:0:0:2:3:6:1", "--regs=::::9"},
                 [](const sim::TSimOptions& o) {
                   const auto& r = o.devices[0].registers;
                   EXPECT_EQ(r[0], 14);
                   EXPECT_EQ(r[1], 0);
                   EXPECT_EQ(r[3], 2);
                   EXPECT_EQ(r[4], 9);
                   EXPECT_EQ(r[6], 1);
                 }},
        GoodLine{"DevicesTakeTheOptionsAsDefaultsWhateverTheOrder",
                 {"--device", "addr=5,id=14", "--baud", "6", "--device", "addr=9,id=99,baud=2"},
                 [](const sim::TSimOptions& o) {
                   ASSERT_EQ(o.devices.size(), 2U);
                   EXPECT_EQ(o.devices[0].config.address, 5);
                   EXPECT_EQ(o.devices[0].config.baudCode, 6);
                   EXPECT_EQ(o.devices[1].config.address, 9);
                   EXPECT_EQ(o.devices[1].config.id, 99);
                   EXPECT_EQ(o.devices[1].config.baudCode, 2);
                 }},
        GoodLine{"EveryFaultSwitch",
                 {"--device",
                  "addr=3,silent,corrupt=4,exception=2,late=150,split=20@3:10,"
                  "extra=0A:FF,garbage-instead=10240,hangup,count=2,turnaround=7",
                  "--replug-after", "500", "--frame-silence", "60"},
                 [](const sim::TSimOptions& o) {
                   const sim::TDeviceSpec& d = o.devices[0];
                   EXPECT_TRUE(d.faults.silent);
                   EXPECT_EQ(d.faults.corruptByte, 4U);
                   EXPECT_EQ(d.faults.exceptionCode, 2);
                   EXPECT_EQ(d.faults.late, 150ms);
                   EXPECT_EQ(d.faults.splitGap, 20ms);
                   EXPECT_EQ(d.faults.splitBefore, (std::vector<std::size_t>{3, 10}));
                   EXPECT_EQ(d.faults.extraBytes, (std::vector<std::uint8_t>{0x0A, 0xFF}));
                   EXPECT_EQ(d.faults.garbageBytes, 10240U);
                   EXPECT_EQ(d.faults.garbage, sim::TGarbage::kInstead);
                   EXPECT_TRUE(d.faults.hangUp);
                   EXPECT_EQ(d.faults.count, 2U);
                   EXPECT_EQ(d.extraTurnaround, 7ms);
                   EXPECT_EQ(o.replugAfter, 500ms);
                   EXPECT_EQ(o.frameSilence, 60ms);
                 }},
        GoodLine{"Help", {"--help"}, [](const sim::TSimOptions& o) { EXPECT_TRUE(o.help); }}),
    CaseName());

struct BadLine {
  std::string name;
  std::vector<std::string_view> args;
  std::string says;  // part of the message
};

void PrintTo(const BadLine& row, std::ostream* os) {
  *os << row.name;
}

class BadCommandLines : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadCommandLines, AreRefusedWithAMessageThatNamesTheMistake) {
  try {
    Parse(GetParam().args);
    FAIL() << "accepted";
  } catch (const sim::TUsageError& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().says), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sim, BadCommandLines,
    ::testing::Values(BadLine{"UnknownOption", {"--colour"}, "unknown option '--colour'"},
                      BadLine{"StrayWord", {"COM1"}, "unexpected argument 'COM1'"},
                      BadLine{"MissingValue", {"--address"}, "--address needs a value"},
                      BadLine{"AddressZero", {"--address", "0"}, "1..255"},
                      BadLine{"UsbLatencyZero", {"--usb-latency", "0"}, "1..255 ms"},
                      BadLine{"AddressTooBig", {"--address", "256"}, "1..255"},
                      BadLine{"NotANumber", {"--baud", "fast"}, "'fast'"},
                      BadLine{"NumberWithTail", {"--late", "10ms"}, "'10ms'"},
                      BadLine{"Negative", {"--late", "-5"}, "'-5'"},
                      BadLine{"Overflow", {"--id", "99999999999999999999"}, "0..65535"},
                      BadLine{"BaudCode9", {"--baud=9"}, "1..8"},
                      BadLine{"EightRegisters", {"--regs", "1:2:3:4:5:6:7:8"}, "at most 7"},
                      BadLine{"SplitWithoutPositions", {"--split", "20"}, "GAP_MS@POS"},
                      BadLine{"OddHex", {"--extra", "ABC"}, "hex bytes"},
                      BadLine{"NotHex", {"--extra", "ZZ"}, "not hex"},
                      BadLine{"FlagWithValue", {"--silent=1"}, "takes no value"},
                      BadLine{"EmptyDevice", {"--device", ""}, "KEY=VALUE"},
                      BadLine{"UnknownDeviceKey", {"--device", "addr=5,speed=3"}, "'speed'"},
                      BadLine{"DeviceKeyWithoutValue", {"--device", "addr"}, "needs a value"},
                      BadLine{"DeviceFlagWithValue", {"--device", "hangup=yes"}, "no value"},
                      BadLine{"EmptyLink", {"--link="}, "--link needs a path"}),
    CaseName());

}  // namespace
