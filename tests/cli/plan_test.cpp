#include "bus/plan.h"

#include <gtest/gtest.h>

#include "tests/support/case_name.h"

namespace {

TEST(Plan, ReadsEveryColumn) {
  const TPlan plan = ParsePlan(
      "port,address,rate,power_up,on_command,remember,new_address,new_rate\n"
      "/dev/ttyUSB0,247,9600,0,2,yes,5,19200\n"
      "ttyUSB1,12,1200,10,,no,,\n");
  ASSERT_TRUE(plan.errors.empty()) << plan.errors.front().message;
  ASSERT_EQ(plan.rows.size(), 2u);
  const TPlanRow& first = plan.rows[0];
  EXPECT_EQ(first.line, 2);
  EXPECT_EQ(first.port, "/dev/ttyUSB0");
  EXPECT_EQ(first.address, 247);
  EXPECT_EQ(first.baudIndex, 3);
  EXPECT_EQ(first.wanted.Of("power_up"), 0u);
  EXPECT_EQ(first.wanted.Of("on_command"), 2u);
  EXPECT_EQ(first.wanted.Of("remember"), 1u);
  EXPECT_EQ(first.wanted.Of("address"), 5u);
  EXPECT_EQ(first.wanted.Of("rate"), BaudCodeOfIndex(5));
  const TPlanRow& second = plan.rows[1];
  EXPECT_EQ(second.baudIndex, 0);
  EXPECT_EQ(second.wanted.Of("power_up"), 10u);
  EXPECT_FALSE(second.wanted.Of("on_command").has_value());  // an empty cell leaves it as it is
  EXPECT_EQ(second.wanted.Of("remember"), 0u);
  EXPECT_FALSE(second.wanted.Of("address").has_value());
}

TEST(Plan, SpreadsheetExportsAreRead) {
  // A byte-order mark, CR LF, semicolons, quoted cells, blanks, comments, columns in any order,
  // and no rate column (9600).
  const TPlan plan = ParsePlan(
      "\xEF\xBB\xBF# line 1 of our plan\r\n"
      "address ; \"port\" ; power_up\r\n"
      "\r\n"
      " 7 ; \"/dev/serial/by-id/usb-FTDI_\"\"A\"\"-port0\" ; 3 \r\n");
  ASSERT_TRUE(plan.errors.empty()) << plan.errors.front().message;
  ASSERT_EQ(plan.rows.size(), 1u);
  EXPECT_EQ(plan.rows[0].line, 4);
  EXPECT_EQ(plan.rows[0].port, "/dev/serial/by-id/usb-FTDI_\"A\"-port0");
  EXPECT_EQ(plan.rows[0].address, 7);
  EXPECT_EQ(plan.rows[0].baudIndex, 3);
  EXPECT_EQ(plan.rows[0].wanted.Of("power_up"), 3u);
}

struct FaultCase {
  std::string name;
  std::string text;
  int line;
  std::string message;  // a part of it
};

class PlanFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(PlanFaults, NameTheLineAndTheFault) {
  const TPlan plan = ParsePlan(GetParam().text);
  ASSERT_FALSE(plan.errors.empty());
  EXPECT_EQ(plan.errors.front().line, GetParam().line);
  EXPECT_NE(plan.errors.front().message.find(GetParam().message), std::string::npos)
      << plan.errors.front().message;
}

const std::string kHeader = "port,address,rate,power_up,on_command,remember,new_address,new_rate\n";

INSTANTIATE_TEST_SUITE_P(
    Table, PlanFaults,
    ::testing::Values(
        FaultCase{"Empty", "", 0, "empty"}, FaultCase{"OnlyComments", "# nothing\n\n", 0, "empty"},
        FaultCase{"HeaderOnly", kHeader, 0, "no device"},
        FaultCase{"UnknownColumn", "port,address,speed\np,1,9600\n", 1, "unknown column 'speed'"},
        FaultCase{"ColumnTwice", "port,address,port,power_up\np,1,q,0\n", 1, "twice"},
        FaultCase{"NoAddressColumn", "port,power_up\np,0\n", 1, "port and address"},
        FaultCase{"AddressZero", kHeader + "p,0,,0,,,,\n", 2, "'0' is not an address 1..247"},
        FaultCase{"Address248", kHeader + "p,1,,0,,,,\np,248,,0,,,,\n", 3, "'248'"},
        FaultCase{"AddressText", kHeader + "p,five,,0,,,,\n", 2, "'five'"},
        FaultCase{"RateNotOfTheFamily", kHeader + "p,1,9601,0,,,,\n", 2, "'9601' is not one"},
        FaultCase{"ModeOne", kHeader + "p,1,,1,,,,\n", 2, "'1' is not a mode"},
        FaultCase{"ModeEleven", kHeader + "p,1,,,11,,,\n", 2, "'11' is not a mode"},
        FaultCase{"RememberMaybe", kHeader + "p,1,,,,maybe,,\n", 2, "neither yes nor no"},
        FaultCase{"NewAddressOutside", kHeader + "p,1,,,,,0,\n", 2, "new_address '0'"},
        FaultCase{"NewRateOutside", kHeader + "p,1,,,,,,115200\n", 2, "new_rate '115200'"},
        FaultCase{"TooFewCells", kHeader + "p,1,9600\n", 2, "3 cells where the header names 8"},
        FaultCase{"QuoteNotClosed", kHeader + "\"p,1,,0,,,,\n", 2, "not closed"},
        FaultCase{"NoPort", kHeader + ",1,,0,,,,\n", 2, "port is missing"},
        FaultCase{"NoAddress", kHeader + "p,,,0,,,,\n", 2, "address is missing"},
        FaultCase{"AsksForNothing", kHeader + "p,1,9600,,,,,\n", 2, "no setting"},
        FaultCase{"SameDeviceTwice", kHeader + "p,4,,0,,,,\n# again\np,4,,2,,,,\n", 4,
                  "already planned on line 2"}),
    CaseName());

TEST(Plan, EveryBadRowIsReported) {
  const TPlan plan = ParsePlan(kHeader + "p,0,,0,,,,\np,2,,0,,,,\np,3,,1,,,,\n");
  ASSERT_EQ(plan.errors.size(), 2u);
  EXPECT_EQ(plan.errors[0].line, 2);
  EXPECT_EQ(plan.errors[1].line, 4);
}

}  // namespace
