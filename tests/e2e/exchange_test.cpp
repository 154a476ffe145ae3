// Operator commands end to end: the real window sends over its real port to a virtual device and
// shows the reply and its verdict.
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "protocol/link_state.h"
#include "tests/support/case_name.h"
#include "tests/support/event_loop_wait.h"
#include "tests/support/window_fixture.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const char* const kOk = "   : \u041E\u041A.";  // Cyrillic О and К
const std::string kRed = "255,0,0";
const std::string kBlue = "0,0,255";

struct CommandCase {
  const char* name;
  std::function<void(TForm1&)> give;
  Bytes request;
  RequestKind kind;
};

class Commands : public WindowOnBus, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(Commands, SendTheirRequestAndGetTheEchoVerdict) {
  sim::TVirtualDevice& device = AddDevice();
  const CommandCase& c = GetParam();
  c.give(*form);
  // The request is on the log in red, the kind recorded, until the reply is taken up.
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : " + Cells(c.request), "RX :"}));
  EXPECT_EQ(LogColour(), kRed);
  EXPECT_EQ(LinkState.PendingRequest, c.kind);
  EXPECT_EQ(LinkState.BusyFlag, 1);

  ASSERT_TRUE(WaitForLine(kOk)) << testing::PrintToString(Log());
  ASSERT_TRUE(WaitForExchangeEnd());
  const auto heard = device.Requests();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].bytes, c.request);
  EXPECT_EQ(LogColour(), kBlue);
  EXPECT_EQ(LastLine(), kOk);
  EXPECT_FALSE(form->ComPort1->Connected()) << "the port closes at the end of each exchange";
  EXPECT_EQ(LinkState.RxCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EachCommand, Commands,
    ::testing::Values(CommandCase{"SwitchOn",
                                  [](TForm1& f) { QTest::mouseClick(f.TeButton2, Qt::LeftButton); },
                                  {0xF7, 0x06, 0x00, 0x03, 0x00, 0x01, 0xAC, 0x9C},
                                  rkOnOffOrRemember},
                      CommandCase{"SwitchOff",
                                  [](TForm1& f) { QTest::mouseClick(f.TeButton3, Qt::LeftButton); },
                                  {0xF7, 0x06, 0x00, 0x03, 0x00, 0x00, 0x6D, 0x5C},
                                  rkOnOffOrRemember},
                      CommandCase{"RememberChecked",
                                  [](TForm1& f) { f.TeCheckBox1->click(); },
                                  {0xF7, 0x06, 0x00, 0x06, 0x00, 0x01, 0xBC, 0x9D},
                                  rkOnOffOrRemember},
                      CommandCase{"PowerUpMode3",
                                  [](TForm1& f) { f.A3_Button->click(); },
                                  {0xF7, 0x06, 0x00, 0x04, 0x00, 0x03, 0x9C, 0x9C},
                                  rkPowerUpMode},
                      CommandCase{"OnCommandMode6",
                                  [](TForm1& f) { f.B6_Button->click(); },
                                  {0xF7, 0x06, 0x00, 0x05, 0x00, 0x06, 0x0D, 0x5F},
                                  rkOnCommandMode}),
    CaseName());

TEST_F(WindowOnBus, ParameterQueryShowsTheBlockOnTheControlsAndSendsNothingMore) {
  sim::TVirtualDevice& device = AddDevice({.address = 247,
                                           .id = 14,
                                           .baudCode = 4,
                                           .mode = 2,
                                           .powerUpMode = 3,
                                           .onMode = 6,
                                           .remember = 1});
  // Registers 1 and 2 as in the worked example of the block; the window does not read them.
  device.SetRegister(1, 0);
  device.SetRegister(2, 0);
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine(kOk));
  ASSERT_TRUE(WaitForExchangeEnd());
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "TX : F7 03 00 00 00 07 10 9E ",
                       "RX : F7 03 0E 00 0E 00 00 00 00 00 02 00 03 00 06 00 01 ",
                       "     18 08 ",
                       "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ ПОСТ. & ЗВУК>",
                       kOk,
                   }));
  std::vector<std::string> selected;
  for (QRadioButton* b : form->findChildren<QRadioButton*>()) {
    if (b->isChecked()) selected.push_back(b->objectName().toStdString());
  }
  EXPECT_EQ(selected.size(), 2u);
  EXPECT_TRUE(form->A3_Button->isChecked());
  EXPECT_TRUE(form->B6_Button->isChecked());
  EXPECT_TRUE(form->TeCheckBox1->isChecked());
  // Showing the block ran the handlers of the buttons and the box; none of them may send.
  Pump(200ms);
  EXPECT_EQ(device.RequestCount(), 1u);
  EXPECT_EQ(LastLine(), kOk);
}

struct BlockCase {
  const char* name;
  std::uint16_t id;
  std::optional<Bytes> reply;  // a whole reply in place of the device's own
  std::vector<std::string> verdicts;
};

class ParameterBlocks : public WindowOnBus, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(ParameterBlocks, AreAcceptedOrRejectedWithTheirReason) {
  const BlockCase& c = GetParam();
  sim::TVirtualDevice& device = AddDevice({.id = c.id, .powerUpMode = 5, .onMode = 7});
  if (c.reply) {
    sim::TFaults faults;
    faults.reply = *c.reply;
    device.SetFaults(faults);
  }
  // The state a rejected block must leave alone, set without sending it.
  LinkState.BusyFlag = 1;
  form->A9_Button->setChecked(true);
  LinkState.BusyFlag = 0;
  const std::size_t before = device.RequestCount();
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitWithEvents([&] { return LastLine().rfind("   : ", 0) == 0; }, 5s));
  ASSERT_TRUE(WaitForExchangeEnd());
  std::vector<std::string> verdicts;
  for (const std::string& line : Log()) {
    if (line.rfind("   : ", 0) == 0) verdicts.push_back(line);
  }
  EXPECT_EQ(verdicts, c.verdicts);
  const bool accepted = verdicts.back() == kOk;
  EXPECT_EQ(form->A5_Button->isChecked(), accepted);
  EXPECT_EQ(form->A9_Button->isChecked(), !accepted);
  EXPECT_EQ(device.RequestCount(), before + 1);
}

const Bytes kByteCount12 = {0xF7, 0x03, 0x0C, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x02, 0x00, 0x03, 0x00, 0x06, 0x00, 0x01};

INSTANTIATE_TEST_SUITE_P(
    Blocks, ParameterBlocks,
    ::testing::Values(BlockCase{"Id14", 14, {}, {"   : РЕЖИМ РАБОТЫ - <ОТКЛ.>", kOk}},
                      BlockCase{"Id15", 15, {}, {"   : РЕЖИМ РАБОТЫ - <ОТКЛ.>", kOk}},
                      BlockCase{"Id16", 16, {}, {"   : НЕВЕРНЫЙ ID УСТРОЙСТВА."}},
                      BlockCase{"ByteCount12", 14, kByteCount12, {"   : НЕВЕРНАЯ ДЛИНА ОТВЕТА."}},
                      // A block cut short after a valid CRC is never read past its bytes.
                      BlockCase{"ShortBlock",
                                14,
                                Bytes{0xF7, 0x03, 0x0E, 0x00, 0x0E},
                                {"   : НЕВЕРНАЯ ДЛИНА ОТВЕТА."}},
                      BlockCase{"ExceptionReply", 14, Bytes{0xF7, 0x83, 0x02}, {"   : ОШИБКА."}}),
    CaseName());

TEST_F(WindowOnBus, AddressChangeEchoMovesTheWindowToTheNewAddress) {
  sim::TVirtualDevice& device = AddDevice();
  form->TeSpinEdit2->SetValue(5);
  QTest::mouseClick(form->TeButton1, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine(kOk));
  ASSERT_TRUE(WaitForExchangeEnd());
  EXPECT_EQ(device.Requests().at(0).bytes, (Bytes{0xF7, 0x06, 0x00, 0x01, 0x00, 0x05, 0x0C, 0x9F}));
  EXPECT_EQ(LinkState.DeviceAddress, 5);
  EXPECT_EQ(form->TeSpinEdit1->value(), 5);
  EXPECT_EQ(form->TeLabel5->text().toStdString(), "АДРЕС ПРИБОРА - 5");
  EXPECT_EQ(Panel(*form, 2), "DEVICE : A = 5; Baud = 9600");
  // The device now answers at its new address.
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine(kOk));
  EXPECT_EQ(Log().front(), "TX : 05 03 00 00 00 07 05 8C ");
}

class BaudChange : public WindowOnBus, public ::testing::WithParamInterface<bool> {};

TEST_P(BaudChange, EchoAsksWhetherThePortFollows) {
  const bool yes = GetParam();
  AddDevice();
  bool asked = false;
  AnswerNextModal([&](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    ASSERT_NE(box, nullptr);
    asked = true;
    EXPECT_EQ(box->windowTitle().toStdString(), "Warning");
    EXPECT_EQ(box->text().toStdString(), "Сменить скорость обмена COM-порта ПК?");
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
    // The exchange is still open while the operator decides.
    EXPECT_EQ(LinkState.PendingRequest, rkBaudChange);
    EXPECT_EQ(Panel(*form, 2), "DEVICE : \u0410 = 247; Baud = 19200");
    box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
  });
  form->TeSComboBox1->setCurrentIndex(5);  // "19200"
  ASSERT_TRUE(WaitForLine(kOk));
  ASSERT_TRUE(WaitForExchangeEnd());
  EXPECT_TRUE(asked);
  EXPECT_EQ(Log().front(), "TX : F7 06 00 02 00 06 BC 9E ");
  EXPECT_EQ(LinkState.BaudIndex, 5);
  EXPECT_EQ(Panel(*form, 2), "DEVICE : \u0410 = 247; Baud = 19200");
  EXPECT_EQ(Panel(*form, 1), yes ? "BaudRate = 19200" : "BaudRate = 9600");
  EXPECT_EQ(form->ComPort1->BaudRate(), yes ? br19200 : br9600);
  EXPECT_EQ(form->BR_19200->isChecked(), yes);
  EXPECT_EQ(form->BR_9600->isChecked(), !yes);
  // With Yes the PC follows the device and the next query is understood.
  if (yes) {
    QTest::mouseClick(form->TeButton4, Qt::LeftButton);
    EXPECT_TRUE(WaitForLine(kOk));
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, BaudChange, ::testing::Bool(),
                         [](const auto& row) { return row.param ? "Yes" : "No"; });

// The verdict lines of the log, in order.
std::vector<std::string> Verdicts(const std::vector<std::string>& log) {
  std::vector<std::string> verdicts;
  for (const std::string& line : log) {
    if (line.rfind("   : ", 0) == 0) verdicts.push_back(line);
  }
  return verdicts;
}

struct ModeCase {
  const char* name;
  std::size_t reg;  // 3 on/off state, 4 power-up column (A), 5 on-command column (B)
  std::uint16_t value;
};

class UnusedModeValues : public WindowOnBus, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(UnusedModeValues, LeaveTheirColumnClearAndWriteNoModeLine) {
  const ModeCase& c = GetParam();
  sim::TVirtualDevice& device = AddDevice({.mode = 2, .powerUpMode = 3, .onMode = 6});
  device.SetRegister(c.reg, c.value);
  // A button of each column selected before, without sending: the block must clear it.
  LinkState.BusyFlag = 1;
  form->A9_Button->setChecked(true);
  form->B9_Button->setChecked(true);
  LinkState.BusyFlag = 0;
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine(kOk));
  ASSERT_TRUE(WaitForExchangeEnd());
  const std::vector<std::string> verdicts = Verdicts(Log());
  if (c.reg == 3) {
    EXPECT_EQ(verdicts, std::vector<std::string>{kOk});
  } else {
    EXPECT_EQ(verdicts,
              (std::vector<std::string>{"   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ ПОСТ. & ЗВУК>", kOk}));
  }
  std::vector<const QRadioButton*> selected;
  for (const QRadioButton* b : form->findChildren<QRadioButton*>()) {
    if (b->isChecked()) selected.push_back(b);
  }
  std::vector<const QRadioButton*> expected;
  if (c.reg != 4) expected.push_back(form->A3_Button);
  if (c.reg != 5) expected.push_back(form->B6_Button);
  std::sort(selected.begin(), selected.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(selected, expected);
  EXPECT_FALSE(form->A9_Button->isChecked());
  EXPECT_FALSE(form->B9_Button->isChecked());
}

INSTANTIATE_TEST_SUITE_P(Registers, UnusedModeValues,
                         ::testing::Values(ModeCase{"PowerUp1", 4, 1}, ModeCase{"PowerUp11", 4, 11},
                                           ModeCase{"OnCommand1", 5, 1},
                                           ModeCase{"OnCommand300", 5, 300},
                                           ModeCase{"OnOff1", 3, 1}, ModeCase{"OnOff11", 3, 11}),
                         CaseName());

struct ShortEchoCase {
  const char* name;
  std::function<void(TForm1&)> give;
};

class ShortWriteEchoes : public WindowOnBus, public ::testing::WithParamInterface<ShortEchoCase> {};

TEST_P(ShortWriteEchoes, GetTheLengthVerdictAndChangeNothing) {
  sim::TVirtualDevice& device = AddDevice();
  sim::TFaults faults;
  faults.reply = {0xF7, 0x06, 0x00};  // five bytes with the CRC: no value in it
  device.SetFaults(faults);
  // A question, if one came, is closed; the answerer expires before the test ends.
  bool asked = false;
  AnswerNextModal(
      [&](QWidget* box) {
        asked = true;
        box->close();
      },
      800ms);
  QElapsedTimer clock;
  clock.start();
  GetParam().give(*form);
  ASSERT_TRUE(WaitWithEvents([&] { return LastLine().rfind("   : ", 0) == 0; }, 5s));
  ASSERT_TRUE(WaitForExchangeEnd());
  Pump(std::chrono::milliseconds(std::max<qint64>(0, 900 - clock.elapsed())));
  const std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), 3u) << testing::PrintToString(log);
  EXPECT_EQ(log[1].rfind("RX : F7 06 00 ", 0), 0u) << log[1];
  EXPECT_EQ(log[2], "   : НЕВЕРНАЯ ДЛИНА ОТВЕТА.");
  EXPECT_FALSE(asked);
  EXPECT_EQ(LinkState.DeviceAddress, 247);
  EXPECT_EQ(LinkState.BaudIndex, 3);
  EXPECT_EQ(form->TeSpinEdit1->value(), 247);
  EXPECT_EQ(Panel(*form, 2), "DEVICE : A = 247; Baud = 9600");
  EXPECT_EQ(Panel(*form, 1), "BaudRate = 9600");
}

INSTANTIATE_TEST_SUITE_P(
    Echoes, ShortWriteEchoes,
    ::testing::Values(ShortEchoCase{"AddressChange",
                                    [](TForm1& f) {
                                      f.TeSpinEdit2->SetValue(5);
                                      QTest::mouseClick(f.TeButton1, Qt::LeftButton);
                                    }},
                      ShortEchoCase{"BaudChange",
                                    [](TForm1& f) { f.TeSComboBox1->setCurrentIndex(5); }}),
    CaseName());

class BaudCodeOutOfRange : public WindowOnBus, public ::testing::WithParamInterface<int> {};

TEST_P(BaudCodeOutOfRange, IsTakenAs9600) {
  // Device and PC at 19200 first, so that the 9600 setting on Yes is a change.
  sim::TVirtualDevice& device = AddDevice({.baudCode = 6});
  form->BR_19200->trigger();
  LinkState.BaudIndex = 5;
  sim::TFaults faults;
  faults.reply = {0xF7, 0x06, 0x00, 0x02, 0x00, static_cast<std::uint8_t>(GetParam())};
  device.SetFaults(faults);
  bool asked = false;
  AnswerNextModal([&](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    ASSERT_NE(box, nullptr);
    asked = true;
    EXPECT_EQ(Panel(*form, 2), "DEVICE : \u0410 = 247; Baud = 9600");
    box->button(QMessageBox::Yes)->click();
  });
  form->TeSComboBox1->setCurrentIndex(1);
  ASSERT_TRUE(WaitForLine(kOk));
  ASSERT_TRUE(WaitForExchangeEnd());
  EXPECT_TRUE(asked);
  EXPECT_EQ(LinkState.BaudIndex, 3);
  EXPECT_EQ(Panel(*form, 2), "DEVICE : \u0410 = 247; Baud = 9600");
  EXPECT_EQ(Panel(*form, 1), "BaudRate = 9600");
  EXPECT_EQ(form->ComPort1->BaudRate(), br9600);
  EXPECT_TRUE(form->BR_9600->isChecked());
  EXPECT_FALSE(form->BR_19200->isChecked());
}

INSTANTIATE_TEST_SUITE_P(Codes, BaudCodeOutOfRange, ::testing::Values(0, 9),
                         [](const auto& row) { return "Code" + std::to_string(row.param); });

TEST_F(WindowOnBus, CorruptedReplyIsShownThenCrcErrorAndNothingChanges) {
  sim::TVirtualDevice& device = AddDevice({.powerUpMode = 3});
  sim::TFaults faults;
  faults.corruptByte = 4;
  device.SetFaults(faults);
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine("   : CRC ERROR."));
  ASSERT_TRUE(WaitForExchangeEnd());
  const auto log = Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].rfind("RX : F7 03 0E 00 F1 ", 0), 0u) << log[1];
  EXPECT_EQ(log[3], "   : CRC ERROR.");
  EXPECT_FALSE(form->A3_Button->isChecked());
  EXPECT_EQ(LinkState.PendingRequest, 0);
}

struct TimeoutCase {
  const char* name;
  std::uint8_t baudIndex;
  int expectedMs;
};

class ReadTimeouts : public WindowOnBus, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(ReadTimeouts, FollowTheDevicesConfirmedRate) {
  AddDevice().SetFaults({.silent = true});
  LinkState.BaudIndex = GetParam().baudIndex;
  form->BR_57600->trigger();  // the PC's own rate plays no part in the time-out
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine("   : TIME OUT.", 6s));
  const auto elapsed = clock.elapsed();
  EXPECT_GE(elapsed, GetParam().expectedMs - 5);
  EXPECT_LT(elapsed, GetParam().expectedMs + 250);
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"TX : F7 03 00 00 00 07 10 9E ", "RX :", "   : TIME OUT."}));
  EXPECT_EQ(LogColour(), kBlue);
  EXPECT_FALSE(form->ComPort1->Connected());
}

INSTANTIATE_TEST_SUITE_P(ByBaudIndex, ReadTimeouts,
                         ::testing::Values(TimeoutCase{"At1200", 0, 3000},
                                           TimeoutCase{"At2400", 1, 1500},
                                           TimeoutCase{"At4800", 2, 700},
                                           TimeoutCase{"At9600", 3, 350},
                                           TimeoutCase{"At57600", 7, 350}),
                         CaseName());

TEST_F(WindowOnBus, SecondWriteKeepsTheFirstTimeOut) {
  AddDevice().SetFaults({.silent = true});
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(form->TeButton2, Qt::LeftButton);
  Pump(100ms);
  QTest::mouseClick(form->TeButton3, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine("   : TIME OUT."));
  const auto elapsed = clock.elapsed();
  EXPECT_GE(elapsed, 345);
  EXPECT_LT(elapsed, 350 + 200) << "an equal interval must not restart the countdown";
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"TX : F7 06 00 03 00 00 6D 5C ", "RX :", "   : TIME OUT."}));
  Pump(450ms);
  EXPECT_EQ(Log().size(), 3u) << "one exchange, one time-out";
}

TEST_F(WindowOnBus, WriteTimeOutIs350MillisecondsEvenAt1200) {
  AddDevice().SetFaults({.silent = true});
  LinkState.BaudIndex = 0;  // a read would wait 3000 ms here
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(form->TeButton2, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine("   : TIME OUT.", 6s));
  const auto elapsed = clock.elapsed();
  EXPECT_GE(elapsed, 345);
  EXPECT_LT(elapsed, 350 + 250);
}

TEST_F(WindowOnBus, PortThatCannotOpenEndsInTheBlueFailureLineAndStaysBusy) {
  AddDevice();
  form->ComPort1->SetPort("/nonexistent/COM9");
  QTest::mouseClick(form->TeButton2, Qt::LeftButton);
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : F7 06 00 03 00 01 AC 9C ", "RX :",
                                             "   : ОШИБКА ОТКРЫТИЯ ПОРТА /nonexistent/COM9"}));
  EXPECT_EQ(LogColour(), kBlue);
  EXPECT_EQ(LinkState.BusyFlag, 1);
  EXPECT_EQ(LinkState.PendingRequest, rkOnOffOrRemember);
  // No time-out follows, and the mode buttons stay refused until a later exchange ends.
  Pump(450ms);
  EXPECT_EQ(Log().size(), 3u);
  form->A2_Button->click();
  EXPECT_EQ(Log().size(), 3u);
  form->ComPort1->SetPort(bus->SlavePath());
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine(kOk));
  ASSERT_TRUE(WaitForExchangeEnd());
  EXPECT_EQ(LinkState.BusyFlag, 0);
}

}  // namespace
