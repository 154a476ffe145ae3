// The main window right after start: caption, size, every caption and panel text, the check
// marks, the log, positions of the key controls; fitting to a short screen; the focus.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <functional>

#include "tests/console/form_fixture.h"
#include "tests/support/case_name.h"
#include "tests/support/event_loop_wait.h"

#include <ostream>

namespace {

using MainWindowTest = FormTest;

TEST_F(MainWindowTest, CaptionHasThreeBlanksBeforeTheVersion) {
  // Cyrillic Т А Р В И, a hyphen, Cyrillic А; then Latin.
  EXPECT_EQ(form->windowTitle(),
            QString::fromUtf8("\u0422\u0410\u0420\u0412\u0418-\u0410 (MODBUS-RTU)   V1.00"));
}

TEST_F(MainWindowTest, FixedClientAreaWithoutMaximiseButton) {
  ASSERT_TRUE(ShowActive());
  EXPECT_EQ(form->size(), QSize(434, 566));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  const Qt::WindowFlags flags = form->windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form->ScrollBox->verticalScrollBar()->isVisible());
  EXPECT_EQ(form->StatusBar1->geometry(), QRect(0, 545, 434, 21));
}

TEST_F(MainWindowTest, ControlsShowTheirCaptions) {
  const std::vector<std::pair<QString, const char*>> captions = {
      {form->TeGroupBox1->title(), ""},
      {form->TeGroupBox2->title(), "  ПАРАМЕТРЫ ИНТЕРФЕЙСА  "},
      {form->TeGroupBox6->title(),
       "  РЕЖИМ РАБОТЫ ПО СОБЫТИЮ:         <POWER UP>  <КОМАНДА \"ВКЛ.\">   "},
      {form->TeLabel4->text(), "СКОРОСТЬ ПЕРЕДАЧИ"},
      {form->TeLabel5->text(), "АДРЕС ПРИБОРА - 247"},
      {form->TeLabel6->text(), "to"},
      {form->TeLabel8->text(), "  0: ОТКЛ."},
      {form->TeLabel1->text(), "  2: ВКЛ. СВЕТ ПОСТ. И ЗВУК *"},
      {form->TeLabel2->text(), "  3: ВКЛ. СВЕТ 2Гц И ЗВУК"},
      {form->TeLabel3->text(), "  4: ВКЛ. СВЕТ 1 Гц И ЗВУК"},
      {form->TeLabel7->text(), "  5: ВКЛ. СВЕТ 0,5 Гц И ЗВУК"},
      {form->TeLabel9->text(), "  6: ВКЛ. СВЕТ ПОСТ."},
      {form->TeLabel10->text(), "  7: ВКЛ. СВЕТ 2 Гц"},
      {form->TeLabel11->text(), "  8: ВКЛ. СВЕТ 1 Гц"},
      {form->TeLabel12->text(), "  9: ВКЛ. СВЕТ 0,5 Гц"},
      {form->TeLabel13->text(), "10: ВКЛ. ЗВУК"},
      {form->TeButton1->text(), "-->"},
      {form->TeButton2->text(), "ВКЛЮЧИТЬ"},
      {form->TeButton3->text(), "ОТКЛЮЧИТЬ"},
      {form->TeButton4->text(), "&ЗАПРОС ПАРАМЕТРОВ"},
      {form->TeCheckBox1->text(), "ЗАПОМИНАТЬ ПОСЛЕДНЮЮ УПРАВ. КОМАНДУ ПРИ ОТКЛЮЧ. ПИТАНИЯ"},
      {form->TeSComboBox1->currentText(), "9600"},
      {form->TeSpinEdit1->text(), "247"},
      {form->TeSpinEdit2->text(), "247"},
      {form->StatusBar1->PanelText(0), "COM1"},  // the one port of the tests' system list
      {form->StatusBar1->PanelText(1), "BaudRate = 9600"},
      {form->StatusBar1->PanelText(2), "DEVICE : A = 247; Baud = 9600"},
      {form->CustomItem1->title(), "Connection"},
      {form->PORT1->title(), "Port"},
      {form->CustomItem3->title(), "BaudRate"},
      {form->CustomItem2->title(), "Search"},
      {form->CustomItem4->text(), "Start"},
      {form->CustomItem5->title(), "Delay"},
  };
  for (const auto& [shown, expected] : captions)
    EXPECT_EQ(shown, QString::fromUtf8(expected));

  // The look-alike letters: Latin A in the status panel, Cyrillic А in the address label.
  EXPECT_EQ(form->StatusBar1->PanelText(2).at(9), QChar(u'A'));
  EXPECT_EQ(form->TeLabel5->text().at(0), QChar(u'\u0410'));

  QStringList items;
  for (int i = 0; i < form->TeSComboBox1->count(); ++i)
    items << form->TeSComboBox1->itemText(i);
  EXPECT_EQ(items,
            QStringList({"1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600"}));
  EXPECT_EQ(form->TeSComboBox1->currentIndex(), 3);
  EXPECT_FALSE(form->TeSComboBox1->isEditable());
  ASSERT_EQ(form->PORT1->actions().size(), 1);
  EXPECT_EQ(form->PORT1->actions()[0]->text(), "COM1");
  EXPECT_TRUE(form->PORT1->actions()[0]->isChecked());
}

TEST_F(MainWindowTest, OnlyTheDefaultItemsAreChecked) {
  QStringList baud, checkedBaud, delay, checkedDelay;
  for (QAction* item : form->CustomItem3->actions()) {
    baud << item->text();
    if (item->isChecked()) checkedBaud << item->text();
  }
  for (QAction* item : form->CustomItem5->actions()) {
    delay << item->text();
    if (item->isChecked()) checkedDelay << item->text();
  }
  EXPECT_EQ(baud,
            QStringList({"1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600"}));
  EXPECT_EQ(checkedBaud, QStringList({"9600"}));
  EXPECT_EQ(delay, QStringList({"100ms", "150ms", "200ms", "250ms", "300ms", "350ms"}));
  EXPECT_EQ(checkedDelay, QStringList({"150ms"}));
  EXPECT_TRUE(form->BR_9600->isChecked());
  EXPECT_TRUE(form->CustomItem7->isChecked());
}

TEST_F(MainWindowTest, StartStateOfControlsTimersAndLink) {
  EXPECT_EQ(form->TeMemo1->Lines(), QStringList({"TX :", "RX :"}));
  EXPECT_EQ(form->TeMemo1->Colour(), QColor(0, 0, 128));
  EXPECT_EQ(form->ColumnA->Selected(), -1);
  EXPECT_EQ(form->ColumnB->Selected(), -1);
  EXPECT_FALSE(form->TeCheckBox1->isChecked());
  EXPECT_TRUE(form->TeProgressBar1->isHidden());
  EXPECT_EQ(form->TeProgressBar1->minimum(), 1);
  EXPECT_EQ(form->TeProgressBar1->maximum(), 247);

  EXPECT_FALSE(form->Timer_Rx->Enabled());
  EXPECT_EQ(form->Timer_Rx->Interval(), 5u);
  EXPECT_FALSE(form->Timer_Programm->Enabled());
  EXPECT_EQ(form->Timer_Programm->Interval(), 20u);

  EXPECT_EQ(LinkState.DeviceAddress, 247);
  EXPECT_EQ(LinkState.BaudIndex, 3);
  EXPECT_EQ(LinkState.RxCount, 0);
  EXPECT_EQ(LinkState.SearchDelayMs, 150);
  EXPECT_EQ(&Console(), form.get());
}

TEST_F(MainWindowTest, PortComponentIsSetUpForTheDevice) {
  TComPort& port = *form->ComPort1;
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_EQ(port.Parity().Bits(), prNone);
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
  EXPECT_FALSE(port.FlowControl().OutCTSFlow());
  EXPECT_FALSE(port.FlowControl().OutDSRFlow());
  EXPECT_EQ(port.FlowControl().ControlDTR(), dtrDisable);
  EXPECT_EQ(port.FlowControl().ControlRTS(), rtsDisable);
  EXPECT_FALSE(port.FlowControl().XonXoffOut());
  EXPECT_FALSE(port.FlowControl().XonXoffIn());
  EXPECT_EQ(port.Timeouts().ReadInterval(), 150);
  EXPECT_EQ(port.Events(), kAllComEvents);
  EXPECT_EQ(port.SyncMethod(), smNone);
  EXPECT_TRUE(static_cast<bool>(port.OnRxChar));
  EXPECT_FALSE(port.Connected());
}

struct PlacementCase {
  std::string name;
  std::function<QWidget*(TForm1&)> control;
  QRect geometry;
};

// Rows print as their names.
void PrintTo(const PlacementCase& row, std::ostream* out) {
  *out << row.name;
}

class PlacementTest : public FormTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTest, ControlSitsWhereDefined) {
  EXPECT_EQ(GetParam().control(*form)->geometry(), GetParam().geometry);
}

#define CONTROL(field) [](TForm1& f) -> QWidget* { return f.field; }

INSTANTIATE_TEST_SUITE_P(
    Controls, PlacementTest,
    ::testing::Values(PlacementCase{"GroupBox1", CONTROL(TeGroupBox1), {0, 24, 433, 521}},
                      PlacementCase{"GroupBox2", CONTROL(TeGroupBox2), {12, 8, 409, 81}},
                      PlacementCase{"GroupBox6", CONTROL(TeGroupBox6), {12, 98, 409, 215}},
                      PlacementCase{"ComboBox1", CONTROL(TeSComboBox1), {26, 40, 105, 22}},
                      PlacementCase{"SpinEdit1", CONTROL(TeSpinEdit1), {152, 40, 65, 21}},
                      PlacementCase{"Button1", CONTROL(TeButton1), {236, 38, 65, 25}},
                      PlacementCase{"SpinEdit2", CONTROL(TeSpinEdit2), {320, 40, 65, 21}},
                      PlacementCase{"CheckBox1", CONTROL(TeCheckBox1), {15, 326, 401, 20}},
                      PlacementCase{"Button2", CONTROL(TeButton2), {15, 360, 75, 25}},
                      PlacementCase{"Button3", CONTROL(TeButton3), {112, 360, 75, 25}},
                      PlacementCase{"Button4", CONTROL(TeButton4), {226, 360, 193, 25}},
                      PlacementCase{"Memo1", CONTROL(TeMemo1), {15, 406, 404, 97}},
                      PlacementCase{"ProgressBar1", CONTROL(TeProgressBar1), {41, 481, 352, 16}}),
    CaseName{});

#undef CONTROL

struct FontCase {
  const char* name;
  std::function<QFont(TForm1&)> font;
  const char* family;  // the first family asked for
  int pixelSize;
};

void PrintTo(const FontCase& row, std::ostream* out) {
  *out << row.name;
}

class FontTest : public FormTest, public ::testing::WithParamInterface<FontCase> {};

// Every control has the window's font unless it names its own; the group captions alone are
// drawn smaller.
TEST_P(FontTest, ControlUsesItsFont) {
  const QFont font = GetParam().font(*form);
  EXPECT_EQ(font.families().value(0), GetParam().family);
  EXPECT_EQ(font.pixelSize(), GetParam().pixelSize);
}

#define FONT_OF(field) [](TForm1& f) { return f.field->font(); }

INSTANTIATE_TEST_SUITE_P(
    Controls, FontTest,
    ::testing::Values(FontCase{"Window", FONT_OF(ClientArea), "Courier New", 11},
                      FontCase{"Label4", FONT_OF(TeLabel4), "Courier New", 11},
                      FontCase{"Label5", FONT_OF(TeLabel5), "Courier New", 11},
                      FontCase{"Label6", FONT_OF(TeLabel6), "Courier New", 11},
                      FontCase{"Button1", FONT_OF(TeButton1), "Courier New", 11},
                      FontCase{"Button2", FONT_OF(TeButton2), "Courier New", 11},
                      FontCase{"Button3", FONT_OF(TeButton3), "Courier New", 11},
                      FontCase{"Button4", FONT_OF(TeButton4), "Courier New", 11},
                      FontCase{"CheckBox1", FONT_OF(TeCheckBox1), "Courier New", 11},
                      FontCase{"Memo1", FONT_OF(TeMemo1), "Courier New", 11},
                      FontCase{"ComboBox1", FONT_OF(TeSComboBox1), "MS Sans Serif", 15},
                      FontCase{"SpinEdit1", FONT_OF(TeSpinEdit1), "MS Sans Serif", 11},
                      FontCase{"SpinEdit2", FONT_OF(TeSpinEdit2), "MS Sans Serif", 11},
                      FontCase{"RowLabel0", FONT_OF(TeLabel8), "MS Sans Serif", 11},
                      FontCase{"RowLabel10", FONT_OF(TeLabel13), "MS Sans Serif", 11},
                      FontCase{"Group2Caption",
                               [](TForm1& f) { return f.TeGroupBox2->TitleFont(); }, "Courier New",
                               10},
                      FontCase{"Group6Caption",
                               [](TForm1& f) { return f.TeGroupBox6->TitleFont(); }, "Courier New",
                               10}),
    CaseName{});

#undef FONT_OF

TEST_F(MainWindowTest, LabelsAndMenuBarSitWhereDefined) {
  EXPECT_EQ(form->TeLabel4->pos(), QPoint(26, 20));
  EXPECT_EQ(form->TeLabel5->pos(), QPoint(214, 20));
  EXPECT_EQ(form->TeLabel6->pos(), QPoint(256, 44));
  EXPECT_EQ(form->TeMenuBar1->pos(), QPoint(3, 0));
  EXPECT_EQ(form->TeMenuBar1->height(), 22);
  // The "to" label lies under the button that covers it.
  EXPECT_TRUE(form->TeButton1->geometry().contains(form->TeLabel6->geometry().topLeft()));
  const QObjectList& siblings = form->TeGroupBox2->children();
  EXPECT_LT(siblings.indexOf(form->TeLabel6), siblings.indexOf(form->TeButton1));
  // The progress bar lies over the lower part of the log, above it.
  const QObjectList& lower = form->TeGroupBox1->children();
  EXPECT_GT(lower.indexOf(form->TeProgressBar1), lower.indexOf(form->TeMemo1));
}

TEST_F(MainWindowTest, ModeRowsStandUnderTheirColumnHeadings) {
  const int rowTops[] = {16, 40, 56, 72, 88, 112, 128, 144, 160, 184};
  const int modes[] = {0, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const QLabel* labels[] = {form->TeLabel8,  form->TeLabel1, form->TeLabel2,  form->TeLabel3,
                            form->TeLabel7,  form->TeLabel9, form->TeLabel10, form->TeLabel11,
                            form->TeLabel12, form->TeLabel13};
  const int indicator = form->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth);
  const auto [leftA, rightA] = form->TeGroupBox6->CaptionSpan(QStringLiteral("<POWER UP>"));
  const auto [leftB, rightB] =
      form->TeGroupBox6->CaptionSpan(QString::fromUtf8("<КОМАНДА \"ВКЛ.\">"));
  ASSERT_GT(leftA, 0);
  ASSERT_GT(leftB, rightA);
  // Both headings are inside the group box.
  EXPECT_LT(rightB, form->TeGroupBox6->width());
  for (int row = 0; row < 10; ++row) {
    SCOPED_TRACE(row);
    const QRadioButton* a = form->ColumnA->Button(modes[row]);
    const QRadioButton* b = form->ColumnB->Button(modes[row]);
    EXPECT_EQ(a->parentWidget(), form->TeGroupBox6);
    EXPECT_EQ(a->y(), rowTops[row]);
    EXPECT_EQ(b->y(), rowTops[row]);
    EXPECT_EQ(labels[row]->geometry().topLeft(), QPoint(24, rowTops[row]));
    EXPECT_LT(labels[row]->geometry().right(), a->x());
    EXPECT_LE(labels[row]->sizeHint().width(), labels[row]->width());  // the label is not cut
    const double centreA = a->x() + indicator / 2.0;
    const double centreB = b->x() + indicator / 2.0;
    EXPECT_NEAR(centreA, (leftA + rightA) / 2, 1.0);
    EXPECT_NEAR(centreB, (leftB + rightB) / 2, 1.0);
    EXPECT_TRUE(a->text().isEmpty());
  }
  EXPECT_EQ(form->A0_Button, form->ColumnA->Button(0));
  EXPECT_EQ(form->A10_Button, form->ColumnA->Button(10));
  EXPECT_EQ(form->B3_Button, form->ColumnB->Button(3));
  EXPECT_EQ(form->ColumnA->Button(1), nullptr);
}

TEST_F(MainWindowTest, QueryButtonHasItsPictureAndAccelerator) {
  EXPECT_EQ(form->TeButton4->shortcut(), QKeySequence(Qt::ALT | Qt::Key(0x0417)));  // Alt+З
  EXPECT_EQ(form->TeButton4->iconSize(), QSize(16, 16));
  const auto mostlyOf = [](const QImage& image, auto&& test) {
    int painted = 0, matching = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (pixel.alpha() < 200) continue;
        ++painted;
        matching += test(pixel);
      }
    }
    return painted > 20 && matching * 10 >= painted * 9;
  };
  const QImage normal = form->TeButton4->icon().pixmap(16, 16, QIcon::Normal).toImage();
  const QImage disabled = form->TeButton4->icon().pixmap(16, 16, QIcon::Disabled).toImage();
  EXPECT_TRUE(
      mostlyOf(normal, [](QColor c) { return c.red() < 40 && c.green() < 40 && c.blue() > 90; }));
  EXPECT_TRUE(
      mostlyOf(disabled, [](QColor c) { return c.red() == c.green() && c.green() == c.blue(); }));
}

TEST_F(MainWindowTest, AltZeClicksTheQueryButton) {
  ASSERT_TRUE(ShowActive());
  int clicks = 0;
  QObject::connect(form->TeButton4, &QPushButton::clicked, [&] { ++clicks; });
  LinkState.SearchState = kSearchRunning;  // the command itself then sends nothing
  const QString ze = QString(QChar(0x0417));
  QTest::sendKeyEvent(QTest::Press, form.get(), Qt::Key(0x0417), ze, Qt::AltModifier);
  QTest::sendKeyEvent(QTest::Release, form.get(), Qt::Key(0x0417), ze, Qt::AltModifier);
  EXPECT_TRUE(WaitWithEvents([&] { return clicks == 1; }));
}

TEST_F(MainWindowTest, FocusIsOnTheMenuBarAfterStartAndAfterAModalBox) {
  ASSERT_TRUE(ShowActive());
  EXPECT_TRUE(WaitWithEvents([&] { return form->TeMenuBar1->hasFocus(); }));

  form->TeSpinEdit2->setFocus(Qt::OtherFocusReason);
  ASSERT_TRUE(WaitWithEvents([&] { return form->TeSpinEdit2->Edit()->hasFocus(); }));
  bool answered = false;
  AnswerNextModal([&](QWidget* box) {
    answered = true;
    box->close();
  });
  // The yes/no question of the protocol; closing it answers No.
  EXPECT_FALSE(form->AskYesNo("Warning", "?"));
  ASSERT_TRUE(answered);
  EXPECT_TRUE(WaitWithEvents([&] { return form->TeMenuBar1->hasFocus(); }));
}

TEST_F(MainWindowTest, ReturningFromAnotherApplicationLeavesTheFocusAlone) {
  ASSERT_TRUE(ShowActive());
  ASSERT_TRUE(WaitWithEvents([&] { return form->TeMenuBar1->hasFocus(); }));
  form->TeSpinEdit2->setFocus(Qt::OtherFocusReason);
  ASSERT_TRUE(WaitWithEvents([&] { return form->TeSpinEdit2->Edit()->hasFocus(); }));
  // Another application takes the activation (no window of ours is active), then gives it back.
  QApplication::setActiveWindow(nullptr);
  ASSERT_EQ(QApplication::activeWindow(), nullptr);
  QApplication::setActiveWindow(form.get());
  ASSERT_EQ(QApplication::activeWindow(), form.get());
  EXPECT_TRUE(form->TeSpinEdit2->Edit()->hasFocus());
  EXPECT_FALSE(form->TeMenuBar1->hasFocus());
}

TEST_F(MainWindowTest, MenuBarPressRunsItsHandlerBeforeTheMenuOpens) {
  ASSERT_TRUE(ShowActive());
  int presses = 0;
  bool menuOpenAtPress = true;
  form->TeMenuBar1->OnMouseDown = [&] {
    ++presses;
    menuOpenAtPress = form->CustomItem1->isVisible();
  };
  const QRect item = form->TeMenuBar1->actionGeometry(form->CustomItem1->menuAction());
  QTest::mouseClick(form->TeMenuBar1, Qt::LeftButton, {}, item.center());
  EXPECT_EQ(presses, 1);
  EXPECT_FALSE(menuOpenAtPress);
  EXPECT_TRUE(WaitWithEvents([&] { return form->CustomItem1->isVisible(); }));
  form->CustomItem1->close();
}

struct QuestionCase {
  std::string name;
  Qt::Key key;
  bool yes;
};

void PrintTo(const QuestionCase& row, std::ostream* out) {
  *out << row.name;
}

class QuestionTest : public FormTest, public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(QuestionTest, YesIsTheDefaultAndEscapeMeansNo) {
  ASSERT_TRUE(ShowActive());
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QString title, text;
  AnswerNextModal([&](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box == nullptr) return widget->close(), void();
    icon = box->icon();
    buttons = box->standardButtons();
    title = box->windowTitle();
    text = box->text();
    QTest::keyClick(box, GetParam().key);
  });
  EXPECT_EQ(form->AskYesNo("Warning", "Сменить скорость обмена COM-порта ПК?"), GetParam().yes);
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(title, "Warning");
  EXPECT_EQ(text, QString::fromUtf8("Сменить скорость обмена COM-порта ПК?"));
  EXPECT_TRUE(WaitWithEvents([&] { return form->TeMenuBar1->hasFocus(); }));
}

INSTANTIATE_TEST_SUITE_P(Answers, QuestionTest,
                         ::testing::Values(QuestionCase{"EnterAnswersYes", Qt::Key_Return, true},
                                           QuestionCase{"EscapeAnswersNo", Qt::Key_Escape, false},
                                           QuestionCase{"LetterNAnswersNo", Qt::Key_N, false}),
                         CaseName{});

TEST_F(MainWindowTest, ClosingTheWindowEndsTheEventLoopAtOnceDuringASearch) {
  ASSERT_TRUE(ShowActive());
  form->CustomItem4->trigger();  // a search runs, its step timer armed
  QTimer::singleShot(50, form.get(), [this] { form->close(); });
  QTimer::singleShot(10000, qApp, [] { QApplication::exit(1); });  // backstop only
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_FALSE(form->isVisible());
}

// Fitting to the screen.

TEST(FitToScreenTest, ShortScreenGivesAScrollingWindowWiderByTheBar) {
  ResetLinkState();
  const TScreenFit shortScreen{400, 30};
  TForm1 form(shortScreen);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const int bar = form.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, form.ScrollBox);
  // Outer height 400 - 25, of which 30 is title bar and borders.
  EXPECT_EQ(form.size(), QSize(434 + bar, 345));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  QScrollBar* scroll = form.ScrollBox->verticalScrollBar();
  EXPECT_TRUE(scroll->isVisible());
  EXPECT_TRUE(scroll->hasTracking());
  EXPECT_EQ(form.ScrollBox->viewport()->width(), 434);
  ASSERT_GT(scroll->maximum(), 0);

  // Dragging the thumb moves the contents while it is held.
  scroll->setSliderDown(true);
  scroll->setSliderPosition(scroll->maximum());
  EXPECT_EQ(form.ClientArea->y(), -scroll->maximum());
  scroll->setSliderDown(false);
  // The status bar stays at the bottom.
  EXPECT_EQ(form.StatusBar1->geometry().bottom(), form.height() - 1);
  ResetLinkState();
}

TEST(FitToScreenTest, ScreenJustTallEnoughKeepsTheFullSize) {
  ResetLinkState();
  const TScreenFit justEnough{566 + 30 + 25, 30};
  TForm1 form(justEnough);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(form.size(), QSize(434, 566));
  EXPECT_FALSE(form.ScrollBox->verticalScrollBar()->isVisible());
  ResetLinkState();
}

}  // namespace
