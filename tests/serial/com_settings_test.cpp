// The component's properties while the port is closed: constructor values, the derived flow
// control, even queue sizes, and which setters apply a group of settings.
#include <gtest/gtest.h>

#include "serial/com_port.h"
#include "tests/support/case_name.h"

namespace {

// Counts the apply steps that reach the device; the port stays closed, so nothing is applied
// to a device, but the steps are still entered.
class CountingPort : public TComPort {
 public:
  int line = 0;
  int timeouts = 0;
  int buffer = 0;

 protected:
  void ApplyLineSettings() override {
    ++line;
    TComPort::ApplyLineSettings();
  }
  void ApplyTimeouts() override {
    ++timeouts;
    TComPort::ApplyTimeouts();
  }
  void ApplyBuffer() override {
    ++buffer;
    TComPort::ApplyBuffer();
  }
};

TEST(ComPortDefaults, ConstructorValues) {
  TComPort port;
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.Parity().Bits(), prNone);
  EXPECT_FALSE(port.Parity().Check());
  EXPECT_FALSE(port.Parity().Replace());
  EXPECT_EQ(port.Parity().ReplaceChar(), '\0');
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_FALSE(port.DiscardNull());
  EXPECT_EQ(port.EventChar(), '\0');
  EXPECT_EQ(port.Events(), kAllComEvents);
  EXPECT_EQ(port.Events().Bits(), 0x3FFu);
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  EXPECT_EQ(port.Buffer().OutputSize(), 1024);
  EXPECT_EQ(port.SyncMethod(), smThreadSync);

  TComFlowControl& flow = port.FlowControl();
  EXPECT_EQ(flow.FlowControl(), fcNone);
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_FALSE(flow.OutDSRFlow());
  EXPECT_EQ(flow.ControlDTR(), dtrDisable);
  EXPECT_EQ(flow.ControlRTS(), rtsDisable);
  EXPECT_FALSE(flow.XonXoffOut());
  EXPECT_FALSE(flow.XonXoffIn());
  EXPECT_FALSE(flow.DSRSensitivity());
  EXPECT_FALSE(flow.TxContinueOnXoff());
  EXPECT_EQ(flow.XonChar(), '\x11');
  EXPECT_EQ(flow.XoffChar(), '\x13');

  TComTimeouts& t = port.Timeouts();
  EXPECT_EQ(t.ReadInterval(), -1);
  EXPECT_EQ(t.ReadTotalMultiplier(), 0);
  EXPECT_EQ(t.ReadTotalConstant(), 0);
  EXPECT_EQ(t.WriteTotalMultiplier(), 100);
  EXPECT_EQ(t.WriteTotalConstant(), 1000);
  EXPECT_EQ(port.Monitor(), nullptr);
}

TEST(ComPortDefaults, BaudRateOrdinalsAndRates) {
  // Callers pass rates by ordinal.
  EXPECT_EQ(static_cast<int>(br1200), 4);
  EXPECT_EQ(static_cast<int>(br9600), 7);
  EXPECT_EQ(static_cast<int>(br56000), 11);
  EXPECT_EQ(static_cast<int>(br57600), 12);
  const std::uint32_t expected[] = {9600,  110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int i = 0; i <= static_cast<int>(br256000); ++i) {
    EXPECT_EQ(BaudRateToBitsPerSecond(static_cast<TBaudRate>(i)), expected[i]) << "ordinal " << i;
  }
  EXPECT_EQ(BaudRateToBitsPerSecond(brCustom, 31250), 31250u);
}

struct FlowCase {
  const char* name;
  bool outCTS;
  TRTSFlowControl rts;
  bool xonIn;
  bool xonOut;
  bool outDSR;
  TDTRFlowControl dtr;
  TFlowControl expected;
};

class DerivedFlowControl : public ::testing::TestWithParam<FlowCase> {};

TEST_P(DerivedFlowControl, ReadsFromTheSwitches) {
  const FlowCase& c = GetParam();
  TComFlowControl flow;
  flow.SetOutCTSFlow(c.outCTS);
  flow.SetControlRTS(c.rts);
  flow.SetXonXoffIn(c.xonIn);
  flow.SetXonXoffOut(c.xonOut);
  flow.SetOutDSRFlow(c.outDSR);
  flow.SetControlDTR(c.dtr);
  EXPECT_EQ(flow.FlowControl(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, DerivedFlowControl,
    ::testing::Values(
        FlowCase{"AllOff", false, rtsDisable, false, false, false, dtrDisable, fcNone},
        FlowCase{"DtrAndDsrPlayNoPart", false, rtsDisable, false, false, true, dtrHandshake,
                 fcNone},
        FlowCase{"RtsHandshakeWithCts", true, rtsHandshake, false, false, false, dtrDisable,
                 fcHardware},
        FlowCase{"RtsHandshakeWithoutCts", false, rtsHandshake, false, false, false, dtrDisable,
                 fcCustom},
        FlowCase{"HardwarePlusXon", true, rtsHandshake, true, false, false, dtrDisable, fcCustom},
        FlowCase{"BothXonXoff", false, rtsDisable, true, true, false, dtrDisable, fcSoftware},
        FlowCase{"XonXoffInOnly", false, rtsDisable, true, false, false, dtrDisable, fcCustom},
        FlowCase{"SoftwareWithRtsEnabled", false, rtsEnable, true, true, false, dtrDisable,
                 fcCustom},
        FlowCase{"RtsEnabledOnly", false, rtsEnable, false, false, false, dtrEnable, fcCustom}),
    CaseName());

TEST(FlowControlWrite, SetsTheSwitchesAndLeavesDtrAndDsr) {
  TComFlowControl flow;
  flow.SetControlDTR(dtrEnable);
  flow.SetOutDSRFlow(true);
  flow.SetFlowControl(fcHardware);
  EXPECT_EQ(flow.FlowControl(), fcHardware);
  EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
  EXPECT_TRUE(flow.OutCTSFlow());
  flow.SetFlowControl(fcSoftware);
  EXPECT_EQ(flow.FlowControl(), fcSoftware);
  EXPECT_EQ(flow.ControlRTS(), rtsDisable);
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_TRUE(flow.XonXoffIn());
  EXPECT_TRUE(flow.XonXoffOut());
  flow.SetControlRTS(rtsToggle);
  flow.SetFlowControl(fcCustom);  // changes nothing
  EXPECT_EQ(flow.ControlRTS(), rtsToggle);
  EXPECT_TRUE(flow.XonXoffIn());
  flow.SetFlowControl(fcNone);
  EXPECT_EQ(flow.FlowControl(), fcNone);
  EXPECT_EQ(flow.ControlDTR(), dtrEnable);
  EXPECT_TRUE(flow.OutDSRFlow());
}

struct SizeCase {
  const char* name;
  int set;
  int stored;
};

class EvenQueueSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(EvenQueueSizes, OddSizesDropToTheEvenNumberBelow) {
  TComBuffer buffer;
  buffer.SetInputSize(GetParam().set);
  buffer.SetOutputSize(GetParam().set);
  EXPECT_EQ(buffer.InputSize(), GetParam().stored);
  EXPECT_EQ(buffer.OutputSize(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EvenQueueSizes,
                         ::testing::Values(SizeCase{"Odd2049", 2049, 2048},
                                           SizeCase{"Odd1025", 1025, 1024},
                                           SizeCase{"Even4096", 4096, 4096}, SizeCase{"One", 1, 0}),
                         CaseName());

TEST(ComPortSetters, EqualValuesApplyNothingAndChangesApplyTheirGroup) {
  CountingPort port;
  port.SetBaudRate(br9600);
  port.SetStopBits(sbOneStopBit);
  port.SetDataBits(dbEight);
  port.SetDiscardNull(false);
  port.SetEventChar('\0');
  port.Parity().SetBits(prNone);
  port.FlowControl().SetOutCTSFlow(false);
  port.Timeouts().SetReadInterval(-1);
  port.Buffer().SetInputSize(1025);  // stored as 1024, the value it has
  EXPECT_EQ(port.line, 0);
  EXPECT_EQ(port.timeouts, 0);
  EXPECT_EQ(port.buffer, 0);

  port.SetBaudRate(br19200);
  port.SetStopBits(sbTwoStopBits);
  port.SetDataBits(dbSeven);
  port.SetDiscardNull(true);
  port.SetEventChar('\n');
  port.Parity().SetBits(prEven);
  port.FlowControl().SetXonXoffIn(true);
  port.FlowControl().SetFlowControl(fcCustom);  // a write of FlowControl always applies
  EXPECT_EQ(port.line, 8);
  port.Timeouts().SetReadInterval(150);
  EXPECT_EQ(port.timeouts, 1);
  port.Buffer().SetInputSize(2049);
  EXPECT_EQ(port.buffer, 1);
  EXPECT_EQ(port.Buffer().InputSize(), 2048);
}

TEST(ComPortSetters, AssigningAWholeObjectCopiesItAndAlwaysApplies) {
  CountingPort port;
  TComTimeouts timeouts;
  timeouts.SetReadInterval(150);
  port.SetTimeouts(timeouts);
  EXPECT_EQ(port.Timeouts().ReadInterval(), 150);
  EXPECT_EQ(port.timeouts, 1);
  port.SetTimeouts(timeouts);  // the same values: applied again all the same
  EXPECT_EQ(port.timeouts, 2);

  TComParity parity;
  parity.SetBits(prMark);
  parity.SetCheck(true);
  port.SetParity(parity);
  EXPECT_EQ(port.Parity().Bits(), prMark);
  EXPECT_TRUE(port.Parity().Check());
  EXPECT_EQ(port.line, 1);

  TComBuffer buffer;
  buffer.SetOutputSize(4096);
  port.SetBuffer(buffer);
  EXPECT_EQ(port.Buffer().OutputSize(), 4096);
  EXPECT_EQ(port.buffer, 1);

  // The copies stay tied to the component: a later change of one field applies again.
  port.Timeouts().SetWriteTotalConstant(500);
  EXPECT_EQ(port.timeouts, 3);
  TComFlowControl flow;
  flow.SetFlowControl(fcHardware);
  port.SetFlowControl(flow);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
  port.FlowControl().SetXonChar('A');
  EXPECT_EQ(port.line, 3);
}

TEST(ComPortSetters, PortNameIsComparedCaseSensitively) {
  TComPort port;
  port.SetPort("com1");
  EXPECT_EQ(port.Port(), "com1");
  port.SetPort("COM1");
  EXPECT_EQ(port.Port(), "COM1");
}

TEST(ComPortSetters, SyncMethodAndEventsAreStoredWhileClosed) {
  TComPort port;
  port.SetSyncMethod(smNone);
  EXPECT_EQ(port.SyncMethod(), smNone);
  port.SetEvents({evRxChar, evError});
  EXPECT_EQ(port.Events().Bits(), 0x081u);
}

}  // namespace
