// The window's components without a control: the two protocol timers and the serial port
// ComPort1.
#include "console/main_window.h"

void TForm1::BuildComponents() {
  Timer_Rx = std::make_unique<TTimer>(5);         // the reply timer
  Timer_Programm = std::make_unique<TTimer>(20);  // the search's step timer

  ComPort1 = std::make_unique<TComPort>();
  ComPort1->BeginLoading();
  ComPort1->SetPort("COM1");
  ComPort1->SetBaudRate(br9600);
  ComPort1->SetDataBits(dbEight);
  ComPort1->Parity().SetBits(prNone);
  ComPort1->SetStopBits(sbOneStopBit);
  TComFlowControl& flow = ComPort1->FlowControl();
  flow.SetOutCTSFlow(false);
  flow.SetOutDSRFlow(false);
  flow.SetControlDTR(dtrDisable);
  flow.SetControlRTS(rtsDisable);
  flow.SetXonXoffOut(false);
  flow.SetXonXoffIn(false);
  ComPort1->Timeouts().SetReadInterval(150);
  ComPort1->SetEvents(kAllComEvents);
  // Events arrive on the port's monitor thread; the receive step hands its bytes to the main
  // thread itself.
  ComPort1->SetSyncMethod(smNone);
  ComPort1->OnRxChar = [this](TCustomComPort& sender, int count) { ComPort1RxChar(sender, count); };
  ComPort1->Loaded();
}
