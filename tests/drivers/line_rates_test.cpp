// Every rate of the family through the real driver: the driver is given the rate the PC's port is
// set to, the device on the far side hears it and answers, and a device at another rate hears
// nothing: TIME OUT.
//
// The far side is reached through the emulator's host-tty backend, which knows only the
// standard rates of the B-constants and takes the next one up for any other: the driver in the
// guest is given 14400, but the line on the host runs at 19200, and the device at 14400 hears
// nothing. That row states what the emulator does, so that a change there shows.
#include "protocol/link_state.h"
#include "serial/com_port.h"
#include "tests/drivers/driver_line.h"
#include "tests/drivers/real_port_window.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;

struct RateCase {
  const char* name;
  int baudIndex;
  TBaudRate setting;
  unsigned rate;
  unsigned heard;  // the rate of the line on the host
};

void PrintTo(const RateCase& c, std::ostream* os) {
  *os << c.name;
}

class LineRates : public RealPortWindow, public ::testing::WithParamInterface<RateCase> {};

TEST_P(LineRates, TheDeviceHearsTheRateSetAndAnswers) {
  const RateCase& c = GetParam();
  SetRates(c.baudIndex);
  EXPECT_EQ(Panel(*form, 1), "BaudRate = " + std::to_string(c.rate));
  {
    TComPort held;  // the component as the window's port sets it up at this rate
    held.SetPort(port);
    held.SetSyncMethod(smNone);
    held.SetBaudRate(c.setting);
    held.OpenPort();
    EXPECT_EQ(DriverRate(node), c.rate);
    held.ClosePort();
  }
  SetAddress(230 + c.baudIndex + 1);  // the device working at this rate
  Query();
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  const std::vector<std::string> log = Log();
  EXPECT_EQ(log.back(), c.heard == c.rate ? kOk : kTimeOut) << testing::PrintToString(log);
  const std::string request = log.front().substr(5);
  EXPECT_EQ(RateHeard(request, 1), c.heard);
}

INSTANTIATE_TEST_SUITE_P(Family, LineRates,
                         ::testing::Values(RateCase{"Bd1200", 0, br1200, 1200, 1200},
                                           RateCase{"Bd2400", 1, br2400, 2400, 2400},
                                           RateCase{"Bd4800", 2, br4800, 4800, 4800},
                                           RateCase{"Bd9600", 3, br9600, 9600, 9600},
                                           RateCase{"Bd14400", 4, br14400, 14400,
                                                    19200},  // see above
                                           RateCase{"Bd19200", 5, br19200, 19200, 19200},
                                           RateCase{"Bd38400", 6, br38400, 38400, 38400},
                                           RateCase{"Bd57600", 7, br57600, 57600, 57600}),
                         CaseName());

TEST_F(RealPortWindow, ADeviceAtAnotherRateHearsNothingAndTheQueryTimesOut) {
  SetRates(3);      // the PC at 9600
  SetAddress(236);  // the device at 19200
  Query();
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : EC 03 00 00 00 07 13 75 ", "RX :", kTimeOut}));
  EXPECT_FALSE(form->ComPort1->Connected());
}

}  // namespace
