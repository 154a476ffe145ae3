// The menu bar of TForm1: "Connection" (Port, BaudRate) and "Search" (Start, Delay).
//
// The BaudRate and Delay items carry independent check marks; their handlers keep exactly one of
// each set. Qt flips a checkable item's mark before its handler runs, and the handler sets the
// marks afresh, so the handler's result is what stays.
#include "console/console_look.h"
#include "console/main_window.h"
#include "protocol/link_state.h"

namespace {
constexpr int kMenuBarHeight = 22;
constexpr const char* kDelayCaptions[] = {"100ms", "150ms", "200ms", "250ms", "300ms", "350ms"};
constexpr std::size_t kDelayCheckedAtStart = 1;  // "150ms"

QAction* AddCheckItem(QMenu* menu, const QString& caption) {
  QAction* item = menu->addAction(caption);
  item->setCheckable(true);
  return item;
}
}  // namespace

void TForm1::BuildMenuBar() {
  CustomItem1 = TeMenuBar1->addMenu(QStringLiteral("Connection"));
  PORT1 = CustomItem1->addMenu(QStringLiteral("Port"));
  CustomItem3 = CustomItem1->addMenu(QStringLiteral("BaudRate"));
  for (std::uint8_t i = 0; i < BaudTable.size(); ++i) {
    BaudItems[i] = AddCheckItem(CustomItem3, QString::fromLatin1(BaudText(i)));
  }
  BR_1200 = BaudItems[0];
  BR_2400 = BaudItems[1];
  BR_4800 = BaudItems[2];
  BR_9600 = BaudItems[3];
  BR_14400 = BaudItems[4];
  BR_19200 = BaudItems[5];
  BR_38400 = BaudItems[6];
  BR_57600 = BaudItems[7];

  CustomItem2 = TeMenuBar1->addMenu(QStringLiteral("Search"));
  CustomItem4 = CustomItem2->addAction(QStringLiteral("Start"));
  CustomItem5 = CustomItem2->addMenu(QStringLiteral("Delay"));
  for (std::size_t i = 0; i < DelayItems.size(); ++i) {
    DelayItems[i] = AddCheckItem(CustomItem5, QString::fromLatin1(kDelayCaptions[i]));
  }
  DelayItems[kDelayCheckedAtStart]->setChecked(true);
  CustomItem6 = DelayItems[0];
  CustomItem7 = DelayItems[1];
  CustomItem8 = DelayItems[2];
  CustomItem9 = DelayItems[3];
  CustomItem10 = DelayItems[4];
  CustomItem11 = DelayItems[5];

  TeMenuBar1->setGeometry(3, 0, TeMenuBar1->sizeHint().width(), kMenuBarHeight);
}
