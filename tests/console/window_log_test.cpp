// The window's controls driving the protocol, seen in the traffic log: each command's request
// line, the radio buttons and the check box sending when set (and only then), and LogReply
// showing a reply in place of the last line before its interpretation.
//
// No port is attached: "COM1" cannot be opened, so every send ends with the open-failure line,
// in blue, right after its request.
#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include "tests/support/event_loop_wait.h"
#include "tests/console/form_fixture.h"
#include "tests/support/case_name.h"

#include <ostream>

namespace {

const QString kOpenFailed = QString::fromUtf8(
    "   : \u041E\u0428\u0418\u0411\u041A\u0410 \u041E\u0422\u041A\u0420\u042B\u0422\u0418\u042F "
    "\u041F\u041E\u0420\u0422\u0410 COM1");

QStringList FailedSend(const QString& request) {
  return {"TX : " + request + " ", "RX :", kOpenFailed};
}

void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

struct CommandCase {
  std::string name;
  std::function<void(TForm1&)> act;
  QString request;
};

// Rows print as their names.
void PrintTo(const CommandCase& row, std::ostream* out) {
  *out << row.name;
}

class CommandTest : public FormTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandTest, ControlSendsItsRequest) {
  ASSERT_TRUE(ShowActive());
  GetParam().act(*form);
  EXPECT_EQ(form->TeMemo1->Lines(), FailedSend(GetParam().request));
  EXPECT_EQ(form->TeMemo1->Colour(), QColor(0, 0, 255));
}

INSTANTIATE_TEST_SUITE_P(
    Controls, CommandTest,
    ::testing::Values(
        CommandCase{"SwitchOn", [](TForm1& f) { Click(f.TeButton2); }, "F7 06 00 03 00 01 AC 9C"},
        CommandCase{"SwitchOff", [](TForm1& f) { Click(f.TeButton3); }, "F7 06 00 03 00 00 6D 5C"},
        CommandCase{"QueryParameters", [](TForm1& f) { Click(f.TeButton4); },
                    "F7 03 00 00 00 07 10 9E"},
        CommandCase{"NewAddressFromTheSecondField",
                    [](TForm1& f) {
                      f.TeSpinEdit2->SetValue(5);
                      Click(f.TeButton1);
                    },
                    "F7 06 00 01 00 05 0C 9F"},
        CommandCase{"BaudListSendsTheCode", [](TForm1& f) { f.TeSComboBox1->setCurrentIndex(5); },
                    "F7 06 00 02 00 06 BC 9E"},
        CommandCase{"PowerUpModeButton", [](TForm1& f) { Click(f.A4_Button); },
                    "F7 06 00 04 00 04 DD 5E"},
        CommandCase{"OnCommandModeButton", [](TForm1& f) { Click(f.B10_Button); },
                    "F7 06 00 05 00 0A 0D 5A"},
        CommandCase{"RememberBoxChecked", [](TForm1& f) { Click(f.TeCheckBox1); },
                    "F7 06 00 06 00 01 BC 9D"}),
    CaseName{});

// The wheel over the baud list would otherwise change the selection, and so the device's rate,
// as the pointer merely passes over it.
TEST_F(FormTest, WheelChangesTheBaudListOnlyWhileItHasTheFocus) {
  ASSERT_TRUE(ShowActive());
  const auto wheelDown = [&] {
    const QPointF at = form->TeSComboBox1->rect().center();
    QWheelEvent wheel(at, form->TeSComboBox1->mapToGlobal(at), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form->TeSComboBox1, &wheel);
  };
  wheelDown();
  EXPECT_EQ(form->TeSComboBox1->currentIndex(), 3);
  EXPECT_EQ(form->TeMemo1->Lines(), QStringList({"TX :", "RX :"}));

  form->TeSComboBox1->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(WaitWithEvents([&] { return form->TeSComboBox1->hasFocus(); }));
  wheelDown();
  EXPECT_EQ(form->TeSComboBox1->currentIndex(), 4);
  EXPECT_EQ(form->TeMemo1->Lines(), FailedSend("F7 06 00 02 00 05 FC 9F"));
}

TEST_F(FormTest, RememberBoxSendsOnEveryChangeOfStateOnly) {
  form->SetRememberChecked(true);
  EXPECT_EQ(form->TeMemo1->Lines(), FailedSend("F7 06 00 06 00 01 BC 9D"));
  LinkState.BusyFlag = 0;  // the failed send left the link busy
  form->TeMemo1->Clear();
  form->SetRememberChecked(true);  // no change of state
  EXPECT_TRUE(form->TeMemo1->Lines().isEmpty());
  form->SetRememberChecked(false);
  EXPECT_EQ(form->TeMemo1->Lines(), FailedSend("F7 06 00 06 00 00 7D 5D"));
}

TEST_F(FormTest, ModeButtonSendsWhenSelectedNotWhenClearedOrClickedAgain) {
  ASSERT_TRUE(ShowActive());
  form->SelectModeButton(TModeColumn::PowerUp, 3);
  EXPECT_EQ(form->TeMemo1->Lines(), FailedSend("F7 06 00 04 00 03 9C 9C"));
  LinkState.BusyFlag = 0;
  form->TeMemo1->Clear();
  Click(form->A3_Button);  // already selected
  form->ClearModeButtons();
  EXPECT_TRUE(form->TeMemo1->Lines().isEmpty());
  EXPECT_EQ(form->ColumnA->Selected(), -1);
}

TEST_F(FormTest, ParameterBlockReplySetsTheControlsAndSendsNothing) {
  const std::uint8_t block[] = {0xF7, 0x03, 0x0E, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0x02, 0x00, 0x03, 0x00, 0x06, 0x00, 0x01, 0x18, 0x08};
  std::copy(std::begin(block), std::end(block), ExchangeBuffer.begin());
  LinkState.RxCount = sizeof block;
  LinkState.BusyFlag = 1;  // as the parameter query left it
  LinkState.PendingRequest = rkParameterQuery;

  form->TeMemo1->LogReply();

  const QStringList expected = {
      "TX :",
      "RX : F7 03 0E 00 0E 00 00 00 00 00 02 00 03 00 06 00 01 ",
      "     18 08 ",
      QString::fromUtf8("   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ ПОСТ. & ЗВУК>"),
      QString::fromUtf8("   : \u041E\u041A."),
  };
  EXPECT_EQ(form->TeMemo1->Lines(), expected);
  EXPECT_EQ(form->ColumnA->Selected(), 3);
  EXPECT_EQ(form->ColumnB->Selected(), 6);
  EXPECT_TRUE(form->TeCheckBox1->isChecked());
}

TEST_F(FormTest, LogReplyReplacesWhateverLineIsLast) {
  form->TeMemo1->AddLine("   : OK.");
  ExchangeBuffer[0] = 0x0A;
  LinkState.RxCount = 1;
  form->TeMemo1->LogReply();
  EXPECT_EQ(form->TeMemo1->Lines(), QStringList({"TX :", "RX :", "RX : 0A "}));
  EXPECT_EQ(form->TeMemo1->toPlainText(), "TX :\nRX :\nRX : 0A ");
}

TEST_F(FormTest, SearchItemStartsAndStopsTheScan) {
  form->CustomItem4->trigger();
  EXPECT_EQ(form->CustomItem4->text(), "Stop");
  EXPECT_FALSE(form->TeProgressBar1->isHidden());
  EXPECT_TRUE(form->Timer_Programm->Enabled());
  EXPECT_EQ(form->Timer_Programm->Interval(), 5u);
  form->CustomItem4->trigger();
  EXPECT_EQ(form->CustomItem4->text(), "Start");
  EXPECT_TRUE(form->TeProgressBar1->isHidden());
  EXPECT_EQ(LinkState.SearchState, 0);
}

}  // namespace
