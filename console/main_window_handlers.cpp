// The operator commands of TForm1 and the protocol's events; each hands over to the protocol.
#include "console/main_window.h"
#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/search.h"

namespace {
constexpr std::array<std::uint16_t, 6> kDelaysMs = {100, 150, 200, 250, 300, 350};
}  // namespace

void TForm1::TeSComboBox1Change() {
  CommandWriteBaudCode(TeSComboBox1->currentIndex());
}

void TForm1::TeButton1Click() {
  CommandWriteAddress(TeSpinEdit1->value(), TeSpinEdit2->value());
}

void TForm1::TeButton2Click() {
  CommandSwitch(true);
}
void TForm1::TeButton3Click() {
  CommandSwitch(false);
}
void TForm1::TeButton4Click() {
  CommandQueryParameters();
}

void TForm1::TeCheckBox1Click() {
  CommandWriteRemember(TeCheckBox1->isChecked());
}

void TForm1::An_ButtonClick(int mode) {
  CommandWritePowerUpMode(mode);
}
void TForm1::Bn_ButtonClick(int mode) {
  CommandWriteOnCommandMode(mode);
}

void TForm1::CustomItem4Click() {
  SearchStartStop();
}

void TForm1::DelayItemClick(int index) {
  for (std::size_t i = 0; i < DelayItems.size(); ++i) {
    DelayItems[i]->setChecked(static_cast<int>(i) == index);
  }
  SetSearchDelay(kDelaysMs[static_cast<std::size_t>(index)]);
}

void TForm1::CustomItem6Click() {
  DelayItemClick(0);
}
void TForm1::CustomItem7Click() {
  DelayItemClick(1);
}
void TForm1::CustomItem8Click() {
  DelayItemClick(2);
}
void TForm1::CustomItem9Click() {
  DelayItemClick(3);
}
void TForm1::CustomItem10Click() {
  DelayItemClick(4);
}
void TForm1::CustomItem11Click() {
  DelayItemClick(5);
}

void TForm1::Timer_RxTimer() {
  EndOfExchangeStep();
}
void TForm1::Timer_ProgrammTimer() {
  SearchStep();
}

void TForm1::ComPort1RxChar(TCustomComPort& sender, int) {
  ReceiveStep(sender);
}
