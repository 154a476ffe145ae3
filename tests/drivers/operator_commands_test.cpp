// Every operator command through the real driver, with the exact lines of the traffic log: the
// parameter query, the writes of the on/off state, the modes and the remember flag, the address
// and baud changes, and the search.
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "protocol/link_state.h"
#include "tests/drivers/real_port_window.h"
#include "tests/support/case_name.h"
#include "tests/support/event_loop_wait.h"

namespace {

using namespace std::chrono_literals;

struct WriteCase {
  const char* name;
  std::function<void(TForm1&)> give;
  std::string request;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
  *os << c.name;
}

class Writes : public RealPortWindow, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(Writes, AreEchoedAndAccepted) {
  const WriteCase& c = GetParam();
  const std::size_t heard = TimesHeard(c.request);
  c.give(*form);
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : " + c.request, "RX : " + c.request, kOk}));
  EXPECT_EQ(LogColour(), "0,0,255");
  EXPECT_FALSE(form->ComPort1->Connected());
  EXPECT_EQ(RateHeard(c.request, heard + 1), 9600u);
}

INSTANTIATE_TEST_SUITE_P(
    EachCommand, Writes,
    ::testing::Values(WriteCase{"SwitchOn",
                                [](TForm1& f) { QTest::mouseClick(f.TeButton2, Qt::LeftButton); },
                                "F7 06 00 03 00 01 AC 9C "},
                      WriteCase{"SwitchOff",
                                [](TForm1& f) { QTest::mouseClick(f.TeButton3, Qt::LeftButton); },
                                "F7 06 00 03 00 00 6D 5C "},
                      WriteCase{"Remember", [](TForm1& f) { f.TeCheckBox1->click(); },
                                "F7 06 00 06 00 01 BC 9D "},
                      WriteCase{"PowerUpMode3", [](TForm1& f) { f.A3_Button->click(); },
                                "F7 06 00 04 00 03 9C 9C "},
                      WriteCase{"OnCommandMode6", [](TForm1& f) { f.B6_Button->click(); },
                                "F7 06 00 05 00 06 0D 5F "}),
    CaseName());

TEST_F(RealPortWindow, ParameterQueryShowsTheBlockOnTheControls) {
  // The device's modes as the previous writes left them, or its defaults: the block is read
  // back whatever it holds, so set a known state first.
  form->A3_Button->click();
  ASSERT_TRUE(WaitForVerdict());
  form->B6_Button->click();
  ASSERT_TRUE(WaitForVerdict());
  if (!form->TeCheckBox1->isChecked()) {
    form->TeCheckBox1->click();
    ASSERT_TRUE(WaitForVerdict());
  }
  Query();
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  const std::vector<std::string> log = Log();
  ASSERT_GE(log.size(), 4u) << testing::PrintToString(log);
  EXPECT_EQ(log[0], "TX : F7 03 00 00 00 07 10 9E ");
  EXPECT_EQ(log[1].rfind("RX : F7 03 0E 00 0E 00 F7 00 04 ", 0), 0u) << log[1];
  EXPECT_EQ(log.back(), kOk);
  EXPECT_TRUE(form->A3_Button->isChecked());
  EXPECT_TRUE(form->B6_Button->isChecked());
  EXPECT_TRUE(form->TeCheckBox1->isChecked());
}

TEST_F(RealPortWindow, AddressChangeMovesTheDeviceAndBack) {
  form->TeSpinEdit2->SetValue(5);
  QTest::mouseClick(form->TeButton1, Qt::LeftButton);
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : F7 06 00 01 00 05 0C 9F ",
                                             "RX : F7 06 00 01 00 05 0C 9F ", kOk}));
  EXPECT_EQ(LinkState.DeviceAddress, 5);
  EXPECT_EQ(form->TeLabel5->text().toStdString(), "АДРЕС ПРИБОРА - 5");
  EXPECT_EQ(Panel(*form, 2), "DEVICE : A = 5; Baud = 9600");
  Query();
  ASSERT_TRUE(WaitForVerdict());
  EXPECT_EQ(Log().front(), "TX : 05 03 00 00 00 07 05 8C ");
  EXPECT_EQ(Log().back(), kOk);

  form->TeSpinEdit2->SetValue(247);  // back, for the other tests
  QTest::mouseClick(form->TeButton1, Qt::LeftButton);
  ASSERT_TRUE(WaitForVerdict());
  EXPECT_EQ(Log().back(), kOk);
  EXPECT_EQ(LinkState.DeviceAddress, 247);
}

TEST_F(RealPortWindow, BaudChangeWithYesMovesBothSidesAndTheNextQueryIsHeardThere) {
  auto answerYes = [](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "Сменить скорость обмена COM-порта ПК?");
    box->button(QMessageBox::Yes)->click();
  };
  // Under X in the emulated guest the box may take several seconds to come up.
  AnswerNextModal(answerYes, 60s);
  form->TeSComboBox1->setCurrentIndex(5);  // "19200"
  ASSERT_TRUE(WaitForVerdict(60s)) << testing::PrintToString(Log());
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : F7 06 00 02 00 06 BC 9E ",
                                             "RX : F7 06 00 02 00 06 BC 9E ", kOk}));
  EXPECT_EQ(Panel(*form, 1), "BaudRate = 19200");
  EXPECT_EQ(Panel(*form, 2), "DEVICE : \u0410 = 247; Baud = 19200");
  const std::size_t heard = TimesHeard("F7 03 00 00 00 07 10 9E ");
  Query();
  ASSERT_TRUE(WaitForVerdict());
  EXPECT_EQ(Log().back(), kOk) << testing::PrintToString(Log());
  EXPECT_EQ(RateHeard("F7 03 00 00 00 07 10 9E ", heard + 1), 19200u);

  AnswerNextModal(answerYes, 60s);  // back to 9600, for the other tests
  form->TeSComboBox1->setCurrentIndex(3);
  ASSERT_TRUE(WaitForVerdict(60s));
  EXPECT_EQ(Log().back(), kOk);
  EXPECT_EQ(Panel(*form, 1), "BaudRate = 9600");
}

TEST_F(RealPortWindow, SearchFindsTheDeviceAtAddress3) {
  form->CustomItem11->trigger();  // Delay 350ms: room for the UART line's longer frame silence
  form->CustomItem4->trigger();   // Start
  ASSERT_TRUE(WaitWithEvents(
      [&] { return LinkState.SearchState != kSearchRunning && !form->Timer_Rx->Enabled(); }, 30s))
      << "address field " << form->TeSpinEdit1->value() << ", Timer_Rx "
      << form->Timer_Rx->Enabled() << ", Timer_Programm " << form->Timer_Programm->Enabled()
      << ", port open " << form->ComPort1->Connected() << ", log " << testing::PrintToString(Log());
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"TX : 03 03 00 00 00 01 85 E8 ", "RX : 03 03 02 00 0F 81 80 ",
                                      "   : ОБНАРУЖЕН ПРИБОР <ТАРВИ-З-А> ПО АДРЕСУ 003", kOk}));
  EXPECT_EQ(LinkState.DeviceAddress, 3);
  EXPECT_EQ(form->CustomItem4->text().toStdString(), "Start");
  EXPECT_FALSE(form->ComPort1->Connected());
}

}  // namespace
