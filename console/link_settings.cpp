// Link settings: the PC's rate (BaudRate menu, panel 1) and the device address (TeSpinEdit1,
// TeLabel5, panel 2). Nothing here talks to the device; the address holds for the next request.
#include "console/main_window.h"
#include "protocol/link_state.h"
#include "protocol/status_texts.h"

void TForm1::BaudItemClick(int index) {
  const auto baudIndex = static_cast<std::uint8_t>(index);
  UncheckBaudItems();
  CheckBaudItem(index);
  SetStatusText(1, BaudRateStatusText(baudIndex));
  // Recorded for the next opening when the port is closed, applied at once when it is open;
  // a refusal of the open port is the error box's to show.
  ComPort1->SetBaudRate(ComBaudRate(baudIndex));
}

void TForm1::BR_1200Click() {
  BaudItemClick(0);
}
void TForm1::BR_2400Click() {
  BaudItemClick(1);
}
void TForm1::BR_4800Click() {
  BaudItemClick(2);
}
void TForm1::BR_9600Click() {
  BaudItemClick(3);
}
void TForm1::BR_14400Click() {
  BaudItemClick(4);
}
void TForm1::BR_19200Click() {
  BaudItemClick(5);
}
void TForm1::BR_38400Click() {
  BaudItemClick(6);
}
void TForm1::BR_57600Click() {
  BaudItemClick(7);
}

void TForm1::UncheckBaudItems() {
  for (QAction* item : BaudItems)
    item->setChecked(false);
}

void TForm1::CheckBaudItem(int index) {
  if (index >= 0 && index < static_cast<int>(BaudItems.size())) {
    BaudItems[static_cast<std::size_t>(index)]->setChecked(true);
  }
}

void TForm1::TeSpinEdit1Change() {
  LinkState.DeviceAddress = static_cast<std::uint8_t>(TeSpinEdit1->value());
  SetStatusText(2, DeviceStatusText(LinkState.DeviceAddress, LinkState.BaudIndex,
                                    TAddressLetter::Latin, true));
  SetAddressLabel(AddressLabelText(LinkState.DeviceAddress));
}

void TForm1::TeSpinEdit1KeyPress(QChar& key) {
  if (key == u'\r') TeSpinEdit1Change();
}
