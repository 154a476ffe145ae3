// The control events of TForm1 bound to its handlers. Every handler runs through RunGuarded, so
// an exception it raises ends in the error box and never unwinds through the toolkit.
//
// The radio buttons run their handler when they become selected (TRadioColumn), the check box on
// every change of state, the baud list on every change of selection, the address field by its
// own change rules (TSpinField).
#include "console/application.h"
#include "console/main_window.h"

namespace {
using THandler = void (TForm1::*)();

constexpr std::array<THandler, 8> kBaudItemHandlers = {
    &TForm1::BR_1200Click,  &TForm1::BR_2400Click,  &TForm1::BR_4800Click,  &TForm1::BR_9600Click,
    &TForm1::BR_14400Click, &TForm1::BR_19200Click, &TForm1::BR_38400Click, &TForm1::BR_57600Click};

constexpr std::array<THandler, 6> kDelayItemHandlers = {
    &TForm1::CustomItem6Click, &TForm1::CustomItem7Click,  &TForm1::CustomItem8Click,
    &TForm1::CustomItem9Click, &TForm1::CustomItem10Click, &TForm1::CustomItem11Click};
}  // namespace

void TForm1::BindControlEvents() {
  const auto guarded = [this](THandler handler) {
    return [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); };
  };

  QObject::connect(TeSComboBox1, &QComboBox::currentIndexChanged, this,
                   guarded(&TForm1::TeSComboBox1Change));
  QObject::connect(TeButton1, &QPushButton::clicked, this, guarded(&TForm1::TeButton1Click));
  QObject::connect(TeButton2, &QPushButton::clicked, this, guarded(&TForm1::TeButton2Click));
  QObject::connect(TeButton3, &QPushButton::clicked, this, guarded(&TForm1::TeButton3Click));
  QObject::connect(TeButton4, &QPushButton::clicked, this, guarded(&TForm1::TeButton4Click));
  QObject::connect(TeCheckBox1, &QCheckBox::toggled, this, guarded(&TForm1::TeCheckBox1Click));
  ColumnA->OnSelect = [this](int mode) { An_ButtonClick(mode); };
  ColumnB->OnSelect = [this](int mode) { Bn_ButtonClick(mode); };

  TeSpinEdit1->OnChange = [this] { TeSpinEdit1Change(); };
  TeSpinEdit1->OnKeyPress = [this](QChar& key) { TeSpinEdit1KeyPress(key); };

  for (std::size_t i = 0; i < BaudItems.size(); ++i) {
    QObject::connect(BaudItems[i], &QAction::triggered, this, guarded(kBaudItemHandlers[i]));
  }
  QObject::connect(CustomItem4, &QAction::triggered, this, guarded(&TForm1::CustomItem4Click));
  for (std::size_t i = 0; i < DelayItems.size(); ++i) {
    QObject::connect(DelayItems[i], &QAction::triggered, this, guarded(kDelayItemHandlers[i]));
  }
  TeMenuBar1->OnMouseDown = [this] { TeMenuBar1MouseDown(); };

  Timer_Rx->OnTimer = [this] { Timer_RxTimer(); };
  Timer_Programm->OnTimer = [this] { Timer_ProgrammTimer(); };
}
