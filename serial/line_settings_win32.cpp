#include "serial/line_settings_win32.h"

namespace {

// rtsToggle is RTS on while the driver sends and off after: the direction control of an RS-485
// transceiver (tarvi-cli --rs485).
DWORD RtsControl(TRTSFlowControl control) {
  switch (control) {
    case rtsEnable:
      return RTS_CONTROL_ENABLE;
    case rtsHandshake:
      return RTS_CONTROL_HANDSHAKE;
    case rtsToggle:
      return RTS_CONTROL_TOGGLE;
    case rtsDisable:
      break;
  }
  return RTS_CONTROL_DISABLE;
}

}  // namespace

DCB LineSettingsToDcb(const TLineSettings& s) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = s.rate;
  dcb.fBinary = TRUE;
  dcb.fParity = s.parityCheck ? 1u : 0u;
  dcb.fOutxCtsFlow = s.outCTSFlow ? 1u : 0u;
  dcb.fOutxDsrFlow = s.outDSRFlow ? 1u : 0u;
  dcb.fDtrControl = static_cast<DWORD>(s.controlDTR) & 3u;
  dcb.fDsrSensitivity = s.dsrSensitivity ? 1u : 0u;
  dcb.fTXContinueOnXoff = s.txContinueOnXoff ? 1u : 0u;
  dcb.fOutX = s.xonXoffOut ? 1u : 0u;
  dcb.fInX = s.xonXoffIn ? 1u : 0u;
  dcb.fErrorChar = s.parityReplace ? 1u : 0u;
  dcb.fNull = s.discardNull ? 1u : 0u;
  dcb.fRtsControl = RtsControl(s.controlRTS) & 3u;  // a field of two bits
  dcb.fAbortOnError = FALSE;
  dcb.XonLim = static_cast<WORD>(s.xonLimit);
  dcb.XoffLim = static_cast<WORD>(s.xoffLimit);
  dcb.ByteSize = static_cast<BYTE>(s.dataBits);
  dcb.Parity = static_cast<BYTE>(s.parity);      // NOPARITY .. SPACEPARITY in the same order
  dcb.StopBits = static_cast<BYTE>(s.stopBits);  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
  dcb.XonChar = s.xonChar;
  dcb.XoffChar = s.xoffChar;
  dcb.ErrorChar = s.replaceChar;
  dcb.EvtChar = s.eventChar;
  return dcb;
}
