// The DCB that the line settings become: the window's port, and each switch reaching its field.
#include "serial/line_settings_win32.h"

#include <gtest/gtest.h>

namespace {

TEST(LineSettingsToDcb, TheWindowsPortAt9600EightNoneOneWithoutHandshake) {
  const DCB dcb = LineSettingsToDcb(TLineSettings{});
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fParity | dcb.fOutxCtsFlow | dcb.fOutxDsrFlow | dcb.fOutX | dcb.fInX, 0u);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
  EXPECT_EQ(dcb.fAbortOnError, 0u);
  EXPECT_EQ(dcb.XonLim, 256);
  EXPECT_EQ(dcb.XoffLim, 256);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
}

TEST(LineSettingsToDcb, EverySwitchReachesItsField) {
  TLineSettings s;
  s.rate = 14400;
  s.dataBits = 7;
  s.parity = prSpace;
  s.stopBits = sbOne5StopBits;
  s.parityCheck = true;
  s.parityReplace = true;
  s.replaceChar = '?';
  s.discardNull = true;
  s.outCTSFlow = true;
  s.outDSRFlow = true;
  s.controlDTR = dtrHandshake;
  s.controlRTS = rtsToggle;
  s.xonXoffOut = true;
  s.xonXoffIn = true;
  s.dsrSensitivity = true;
  s.txContinueOnXoff = true;
  s.xonLimit = 512;
  s.xoffLimit = 512;
  s.eventChar = '\n';
  const DCB dcb = LineSettingsToDcb(s);
  EXPECT_EQ(dcb.BaudRate, 14400u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.Parity, SPACEPARITY);
  EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
  EXPECT_EQ(dcb.fParity & dcb.fErrorChar & dcb.fNull & dcb.fOutxCtsFlow & dcb.fOutxDsrFlow, 1u);
  EXPECT_EQ(dcb.fOutX & dcb.fInX & dcb.fDsrSensitivity & dcb.fTXContinueOnXoff, 1u);
  EXPECT_EQ(dcb.ErrorChar, '?');
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
  EXPECT_EQ(dcb.XonLim, 512);
  EXPECT_EQ(dcb.EvtChar, '\n');
}

}  // namespace
