// Every rate of the family through the real driver: the rate the PC's port is set to is the rate
// the device on the far side hears, and a device at another rate hears nothing: TIME OUT.
#include "protocol/link_state.h"
#include "tests/drivers/real_port_window.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;

struct RateCase {
  const char* name;
  int baudIndex;
  unsigned rate;
};

void PrintTo(const RateCase& c, std::ostream* os) {
  *os << c.name;
}

class LineRates : public RealPortWindow, public ::testing::WithParamInterface<RateCase> {};

TEST_P(LineRates, TheDeviceHearsTheRateSetAndAnswers) {
  const RateCase& c = GetParam();
  SetRates(c.baudIndex);
  EXPECT_EQ(Panel(*form, 1), "BaudRate = " + std::to_string(c.rate));
  SetAddress(230 + c.baudIndex + 1);  // the device working at this rate
  Query();
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  const std::vector<std::string> log = Log();
  EXPECT_EQ(log.back(), kOk) << testing::PrintToString(log);
  const std::string request = log.front().substr(5);
  EXPECT_EQ(RateHeard(request, 1), c.rate);
}

INSTANTIATE_TEST_SUITE_P(
    Family, LineRates,
    ::testing::Values(RateCase{"Bd1200", 0, 1200}, RateCase{"Bd2400", 1, 2400},
                      RateCase{"Bd4800", 2, 4800}, RateCase{"Bd9600", 3, 9600},
                      RateCase{"Bd14400", 4, 14400}, RateCase{"Bd19200", 5, 19200},
                      RateCase{"Bd38400", 6, 38400}, RateCase{"Bd57600", 7, 57600}),
    CaseName());

TEST_F(RealPortWindow, ADeviceAtAnotherRateHearsNothingAndTheQueryTimesOut) {
  SetRates(3);       // the PC at 9600
  SetAddress(236);   // the device at 19200
  Query();
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : EC 03 00 00 00 07 13 75 ", "RX :", kTimeOut}));
  EXPECT_FALSE(form->ComPort1->Connected());
}

}  // namespace
