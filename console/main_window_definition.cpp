// The window definition: every control of TForm1 with its caption, position and size (pixels at
// 96 dpi, each position within its parent) and its state at start.
#include <QFontMetrics>
#include <QStyle>
#include <QVBoxLayout>
#include <cmath>

#include "console/console_look.h"
#include "console/main_window.h"
#include "console/repeat_icon.h"
#include "console/text_fit.h"
#include "protocol/device_modes.h"
#include "protocol/link_state.h"

namespace {
constexpr int kRadioSize = 16;

QLabel* MakeLabel(const QString& caption, QWidget* parent, QPoint at) {
  auto* label = new QLabel(caption, parent);
  label->adjustSize();
  label->move(at);
  return label;
}

// Shrinks a caption's font where the face in use draws it wider than its control's room.
void FitCaption(QWidget* control, const QString& caption, int room) {
  const QFont fitting = FittingFont(control->font(), caption, room);
  if (fitting.pixelSize() != control->font().pixelSize()) control->setFont(fitting);
}

void FitCheckBoxCaption(QCheckBox* box) {
  const QStyle* style = box->style();
  const int room = box->width() - style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) -
                   style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
  FitCaption(box, box->text(), room);
}

void FitButtonCaption(QPushButton* button) {
  const QStyle* style = button->style();
  int room = button->width() - style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) -
             2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
  if (!button->icon().isNull()) room -= button->iconSize().width() + 4;
  FitCaption(button, button->text(), room);
}

QPushButton* MakeButton(const QString& caption, QWidget* parent, QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

TSpinField* MakeAddressField(QWidget* parent, QRect geometry) {
  auto* field = new TSpinField(1, 247, parent);
  field->setFont(SansFont(11));
  field->setGeometry(geometry);
  field->SetValue(247);
  return field;
}
}  // namespace

void TForm1::BuildFrame() {
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Window);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  ScrollBox = new QScrollArea(this);
  ScrollBox->setFrameShape(QFrame::NoFrame);
  ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ScrollBox->setWidgetResizable(false);
  ClientArea = new QWidget;
  ClientArea->setFixedSize(kClientWidth, kClientHeight - TStatusBar::kHeight);
  ClientArea->setAutoFillBackground(true);
  ClientArea->setBackgroundRole(QPalette::Window);
  ScrollBox->setWidget(ClientArea);
  layout->addWidget(ScrollBox);
  setFixedSize(kClientWidth, kClientHeight);

  TeMenuBar1 = new TMenuBar(ClientArea);
  TeGroupBox1 = new TFlatGroupBox(QString(), ClientArea);
  TeGroupBox1->setGeometry(0, 24, 433, 521);
}

void TForm1::BuildInterfaceGroup() {
  TeGroupBox2 = new TFlatGroupBox(QStringLiteral("  ПАРАМЕТРЫ ИНТЕРФЕЙСА  "), TeGroupBox1);
  TeGroupBox2->setGeometry(12, 8, 409, 81);

  TeLabel4 = MakeLabel(QStringLiteral("СКОРОСТЬ ПЕРЕДАЧИ"), TeGroupBox2, {26, 20});
  TeSComboBox1 = new TCentredComboBox(TeGroupBox2);
  for (std::uint8_t i = 0; i < BaudTable.size(); ++i)
    TeSComboBox1->addItem(BaudText(i));
  TeSComboBox1->setCurrentIndex(3);
  TeSComboBox1->setFont(SansFont(15));
  TeSComboBox1->setGeometry(26, 40, 105, 22);

  TeLabel5 = MakeLabel(QStringLiteral("АДРЕС ПРИБОРА - 247"), TeGroupBox2, {214, 20});
  TeSpinEdit1 = MakeAddressField(TeGroupBox2, {152, 40, 65, 21});
  // "to" lies inside the area of TeButton1, which is created after it and covers it.
  TeLabel6 = MakeLabel(QStringLiteral("to"), TeGroupBox2, {256, 44});
  TeButton1 = MakeButton(QStringLiteral("-->"), TeGroupBox2, {236, 38, 65, 25});
  TeSpinEdit2 = MakeAddressField(TeGroupBox2, {320, 40, 65, 21});
}

void TForm1::BuildModeGroup() {
  TeGroupBox6 = new TFlatGroupBox(
      QStringLiteral("  РЕЖИМ РАБОТЫ ПО СОБЫТИЮ:         <POWER UP>  <КОМАНДА \"ВКЛ.\">   "),
      TeGroupBox1);
  TeGroupBox6->setGeometry(12, 98, 409, 215);

  // The captions are the shared mode table's row labels; the layout is the window's own.
  struct Row {
    int mode;
    QLabel** label;
    QRadioButton** a;
    QRadioButton** b;
    int top;
  };
  const Row rows[] = {
      {0, &TeLabel8, &A0_Button, &B0_Button, 16},   {2, &TeLabel1, &A2_Button, &B2_Button, 40},
      {3, &TeLabel2, &A3_Button, &B3_Button, 56},   {4, &TeLabel3, &A4_Button, &B4_Button, 72},
      {5, &TeLabel7, &A5_Button, &B5_Button, 88},   {6, &TeLabel9, &A6_Button, &B6_Button, 112},
      {7, &TeLabel10, &A7_Button, &B7_Button, 128}, {8, &TeLabel11, &A8_Button, &B8_Button, 144},
      {9, &TeLabel12, &A9_Button, &B9_Button, 160}, {10, &TeLabel13, &A10_Button, &B10_Button, 184},
  };

  // Each radio column stands centred under its heading in the caption, wherever the caption font
  // puts it.
  const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth);
  const auto columnLeft = [&](const QString& heading) {
    const auto [left, right] = TeGroupBox6->CaptionSpan(heading);
    return static_cast<int>(std::lround((left + right) / 2 - indicator / 2.0));
  };
  const int leftA = columnLeft(QStringLiteral("<POWER UP>"));
  const int leftB = columnLeft(QStringLiteral("<КОМАНДА \"ВКЛ.\">"));

  ColumnA = std::make_unique<TRadioColumn>(this);
  ColumnB = std::make_unique<TRadioColumn>(this);
  for (const Row& row : rows) {
    auto* label = new QLabel(QString::fromUtf8(FindMode(static_cast<unsigned>(row.mode))->rowLabel),
                             TeGroupBox6);
    label->setFont(SansFont(11));
    label->setGeometry(24, row.top, leftA - 24 - 4, kRadioSize);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    *row.label = label;
    *row.a = new QRadioButton(TeGroupBox6);
    (*row.a)->setGeometry(leftA, row.top, kRadioSize, kRadioSize);
    ColumnA->Add(row.mode, *row.a);
    *row.b = new QRadioButton(TeGroupBox6);
    (*row.b)->setGeometry(leftB, row.top, kRadioSize, kRadioSize);
    ColumnB->Add(row.mode, *row.b);
  }
}

void TForm1::BuildCommandRow() {
  TeCheckBox1 = new QCheckBox(
      QStringLiteral("ЗАПОМИНАТЬ ПОСЛЕДНЮЮ УПРАВ. КОМАНДУ ПРИ ОТКЛЮЧ. ПИТАНИЯ"), TeGroupBox1);
  TeCheckBox1->setGeometry(15, 326, 401, 20);
  TeCheckBox1->setTristate(false);

  TeButton2 = MakeButton(QStringLiteral("ВКЛЮЧИТЬ"), TeGroupBox1, {15, 360, 75, 25});
  TeButton3 = MakeButton(QStringLiteral("ОТКЛЮЧИТЬ"), TeGroupBox1, {112, 360, 75, 25});
  // The ampersand marks З as the accelerator: underlined, Alt+З clicks the button.
  TeButton4 = MakeButton(QStringLiteral("&ЗАПРОС ПАРАМЕТРОВ"), TeGroupBox1, {226, 360, 193, 25});
  TeButton4->setIcon(MakeRepeatIcon());
  TeButton4->setIconSize(QSize(16, 16));
  FitCheckBoxCaption(TeCheckBox1);
  for (QPushButton* button : {TeButton2, TeButton3, TeButton4})
    FitButtonCaption(button);

  TeMemo1 = new TTrafficLog(TeGroupBox1);
  TeMemo1->setGeometry(15, 406, 404, 97);
  TeMemo1->AddLine("TX :");
  TeMemo1->AddLine("RX :");

  // Shown by the search only, over the lower part of the log.
  TeProgressBar1 = new TSegmentedProgressBar(TeGroupBox1);
  TeProgressBar1->setGeometry(41, 481, 352, 16);
  TeProgressBar1->setRange(1, 247);
  TeProgressBar1->SetPosition(0);
  TeProgressBar1->hide();
}

void TForm1::BuildStatusBar() {
  StatusBar1 = new TStatusBar(
      {{50, Qt::AlignHCenter}, {100, Qt::AlignHCenter}, {1105, Qt::AlignLeft}}, this);
  StatusBar1->SetPanelText(1, QStringLiteral("BaudRate = 9600"));
  StatusBar1->SetPanelText(2, QStringLiteral("DEVICE : A = 247; Baud = 9600"));
  layout()->addWidget(StatusBar1);
}
