// FormCreate: the last step of creating the window, before it is first shown.
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "console/main_window.h"
#include "protocol/link_state.h"
#include "protocol/status_texts.h"

void TForm1::FormCreate() {
  FitToScreen();

  LinkState.RxCount = 0;
  LinkState.DeviceAddress = 247;
  LinkState.BaudIndex = 3;

  SetAddressLabel(AddressLabelText(LinkState.DeviceAddress));
  // Both fields already hold 247, so neither runs its change handler.
  TeSpinEdit1->SetValue(LinkState.DeviceAddress);
  TeSpinEdit2->SetValue(LinkState.DeviceAddress);

  CheckBaudItem(LinkState.BaudIndex);
  SetStatusText(1, BaudRateStatusText(LinkState.BaudIndex));
  SetStatusText(2, DeviceStatusText(LinkState.DeviceAddress, LinkState.BaudIndex,
                                    TAddressLetter::Latin, false));
  ComPort1->SetBaudRate(ComBaudRate(LinkState.BaudIndex));

  FillPortMenu();
}

void TForm1::FitToScreen() {
  const int outerHeight = kClientHeight + screen_.frameHeight;
  if (screen_.screenHeight - 25 >= outerHeight) return;
  // Too short a screen: the window takes the screen height less 25, its contents scroll under a
  // vertical bar that follows the thumb while it is dragged, and it grows by the bar's width.
  // However short the screen, the menu bar and the status bar stay whole.
  const int clientHeight = std::max(screen_.screenHeight - 25 - screen_.frameHeight, 24 + 21);
  ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ScrollBox->verticalScrollBar()->setTracking(true);
  const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ScrollBox);
  setFixedSize(kClientWidth + barWidth, clientHeight);
}
