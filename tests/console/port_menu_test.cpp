// The Port menu of the real window, filled from a system list and a "comports.txt" of the test's
// own.
#include <gtest/gtest.h>

#include <QTest>

#include "console/main_window.h"
#include "protocol/link_state.h"
#include "sim/virtual_bus.h"
#include "tests/support/case_name.h"
#include "tests/support/event_loop_wait.h"
#include "tests/support/qt_environment.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kUnavailable = "   : РЕЕСТР - ОШИБКА ДОСТУПА К СПИСКУ COM-ПОРТОВ.";
const std::string kAskingFile = "   : ЗАПРОС СПИСКА ИЗ ФАЙЛА \"COMPORTS.TXT\".....";
const std::string kFileOk = "   : OK.";  // Latin
const std::string kFileNotFound = "   : ФАЙЛ \"\u0421OMPORTS.TXT\": - File not found.";
const std::string kNavy = "0,0,128";
const std::string kBlue = "0,0,255";

class PortMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    TestPortList().sysfs.ClearPorts();
    TestPortList().folder.Remove("comports.txt");
  }
  void TearDown() override {
    form.reset();
    TestPortList().sysfs.ClearPorts();
    TestPortList().sysfs.AddPort("COM1");
    TestPortList().folder.Remove("comports.txt");
  }

  static void SystemList(const Lines& names) {
    TestPortList().sysfs.ClearPorts();
    for (const std::string& name : names)
      TestPortList().sysfs.AddPort(name);
  }
  static void File(const std::string& content) {
    TestPortList().folder.Write("comports.txt", content);
  }
  void Open() {
    form = std::make_unique<TForm1>();
    form->show();
  }

  Lines Entries() const {
    Lines names;
    for (QAction* a : form->PORT1->actions())
      names.push_back(a->data().toString().toStdString());
    return names;
  }
  std::vector<int> Checked() const {
    std::vector<int> checked;
    const auto actions = form->PORT1->actions();
    for (int i = 0; i < actions.size(); ++i)
      if (actions[i]->isChecked()) checked.push_back(i);
    return checked;
  }
  Lines Log() const {
    Lines lines;
    for (const QString& line : form->TeMemo1->Lines())
      lines.push_back(line.toStdString());
    return lines;
  }
  std::string Colour() const {
    const QColor c = form->TeMemo1->Colour();
    return std::to_string(c.red()) + "," + std::to_string(c.green()) + "," +
           std::to_string(c.blue());
  }
  std::string Panel0() const { return form->StatusBar1->PanelText(0).toStdString(); }

  std::unique_ptr<TForm1> form;
};

const Lines kUntouchedLog = {"TX :", "RX :"};

struct FillCase {
  const char* name;
  std::optional<Lines> system;      // nullopt: the list cannot be read
  std::optional<std::string> file;  // nullopt: no comports.txt
  Lines entries;
  std::vector<int> checked;
  std::string port;  // ComPort1's port afterwards
  Lines log;
  std::string colour;
};

class Fills : public PortMenu, public ::testing::WithParamInterface<FillCase> {};

TEST_P(Fills, OfferThePortsAndChooseOne) {
  const FillCase& c = GetParam();
  if (c.system) {
    SystemList(*c.system);
  } else {
    TestPortList().sysfs.MakeUnavailable();
  }
  if (c.file) File(*c.file);
  Open();
  EXPECT_EQ(Entries(), c.entries);
  EXPECT_EQ(Checked(), c.checked);
  EXPECT_EQ(form->ComPort1->Port(), c.port);
  EXPECT_EQ(Panel0(), c.checked.empty() ? "" : c.port);
  EXPECT_EQ(Log(), c.log);
  EXPECT_EQ(Colour(), c.colour);
}

Lines Numbered(const std::string& prefix, int first, int count) {
  Lines names;
  for (int i = first; i < first + count; ++i)
    names.push_back(prefix + std::to_string(i));
  return names;
}

std::string AsFile(const Lines& names) {
  std::string text;
  for (const std::string& name : names)
    text += name + "\n";
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Fills,
    ::testing::Values(
        FillCase{"CurrentPortPresent",
                 Lines{"COM3", "COM1"},
                 {},
                 {"COM1", "COM3"},
                 {0},
                 "COM1",
                 kUntouchedLog,
                 kNavy},
        FillCase{"CurrentPortAbsentFirstTaken",
                 Lines{"COM4", "COM3"},
                 {},
                 {"COM3", "COM4"},
                 {0},
                 "COM3",
                 kUntouchedLog,
                 kNavy},
        FillCase{"KernelNamesInNaturalOrder",
                 Lines{"ttyUSB0", "ttyS10", "ttyS2"},
                 {},
                 {"ttyS2", "ttyS10", "ttyUSB0"},
                 {0},
                 "ttyS2",
                 kUntouchedLog,
                 kNavy},
        FillCase{"MoreThan32Ports",
                 Numbered("ttyUSB", 0, 40),
                 {},
                 Numbered("ttyUSB", 0, 40),
                 {0},
                 "ttyUSB0",
                 kUntouchedLog,
                 kNavy},
        FillCase{"UnavailableListTwoLineFile",
                 {},
                 "COM5\nCOM6\n",
                 {"COM5", "COM6"},
                 {0},
                 "COM5",
                 {kUnavailable, kAskingFile, kFileOk},
                 kNavy},
        FillCase{"UnavailableListNoFile",
                 {},
                 {},
                 {},
                 {},
                 "COM1",
                 {kUnavailable, kAskingFile, kFileNotFound},
                 kBlue},
        FillCase{"UnavailableListEmptyFile",
                 {},
                 "",
                 {},
                 {},
                 "COM1",
                 {kUnavailable, kAskingFile, kFileOk},
                 kNavy},
        FillCase{"EmptyListNoFile", Lines{}, {}, {}, {}, "COM1", {kFileNotFound}, kBlue},
        FillCase{"EmptyListFileOfTwelveLines",
                 Lines{},
                 AsFile(Numbered("COM", 1, 12)),
                 Numbered("COM", 1, 10),
                 {0},
                 "COM1",
                 kUntouchedLog,
                 kNavy},
        FillCase{"RepeatedCurrentNameLaterChecked",
                 Lines{},
                 "COM1\nCOM2\nCOM1\n",
                 {"COM1", "COM2", "COM1"},
                 {2},
                 "COM1",
                 kUntouchedLog,
                 kNavy},
        FillCase{
            "EmptyLineIsAnEntry", Lines{}, "\nCOM2\n", {"", "COM2"}, {0}, "", kUntouchedLog, kNavy},
        FillCase{"LinesTakenWhole",
                 Lines{},
                 " COM7 \r\nCOM&8\n",
                 {" COM7 ", "COM&8"},
                 {0},
                 " COM7 ",
                 kUntouchedLog,
                 kNavy}),
    CaseName());

TEST_F(PortMenu, OperatorsChoiceSurvivesTheNextFill) {
  SystemList({"COM3", "COM1"});
  Open();
  QAction* com3 = form->PORT1->actions().at(1);
  com3->trigger();
  EXPECT_EQ(form->ComPort1->Port(), "COM3");
  EXPECT_EQ(Panel0(), "COM3");
  EXPECT_EQ(Checked(), std::vector<int>{1});
  // Each press on the menu bar rebuilds the menu from the list of that moment.
  TestPortList().sysfs.AddPort("COM2");
  QTest::mousePress(form->TeMenuBar1, Qt::LeftButton, {}, QPoint(1, 1));
  QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                    : static_cast<QWidget*>(form.get()),
                  Qt::Key_Escape);
  EXPECT_EQ(Entries(), (Lines{"COM1", "COM2", "COM3"}));
  EXPECT_EQ(Checked(), std::vector<int>{2});
  EXPECT_EQ(form->ComPort1->Port(), "COM3");
}

TEST_F(PortMenu, EmptyNameIsChosenAndFailsToOpenAtTheNextExchange) {
  SystemList({});
  File("\n");
  Open();
  EXPECT_EQ(form->ComPort1->Port(), "");
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  EXPECT_EQ(Log().back(), "   : ОШИБКА ОТКРЫТИЯ ПОРТА ");
}

TEST_F(PortMenu, ChoiceThatCannotReopenLeavesThePortClosedUnderTheNewName) {
  using namespace std::chrono_literals;
  sim::TVirtualBus bus;
  sim::TVirtualDevice& device = bus.AddDevice({.address = 200});
  bus.Start();
  SystemList({});
  File(bus.SlavePath() + "\n/nonexistent/ttyX\n");
  Open();
  ASSERT_EQ(form->ComPort1->Port(), bus.SlavePath());
  form->CustomItem4->trigger();  // Start: the port stays open during the scan
  ASSERT_TRUE(WaitWithEvents([&] { return device.RequestCount() >= 1; }, 5s));
  ASSERT_TRUE(form->ComPort1->Connected());
  form->PORT1->actions().at(1)->trigger();
  EXPECT_FALSE(form->ComPort1->Connected());
  EXPECT_EQ(form->ComPort1->Port(), "/nonexistent/ttyX");
  EXPECT_EQ(Panel0(), bus.SlavePath()) << "panel 0 keeps the name it showed";
  EXPECT_EQ(Checked(), std::vector<int>{1});
  form->CustomItem4->trigger();  // Stop
  WaitWithEvents([&] { return !form->Timer_Rx->Enabled(); }, 5s);
}

TEST_F(PortMenu, FillDuringASearchReopensThePortUnderTheNewName) {
  using namespace std::chrono_literals;
  sim::TVirtualBus first;
  sim::TVirtualBus second;
  sim::TVirtualDevice& heardFirst = first.AddDevice({.address = 200});
  sim::TVirtualDevice& heardSecond = second.AddDevice({.address = 200});
  first.Start();
  second.Start();
  SystemList({});
  File(first.SlavePath() + "\n");
  Open();
  ASSERT_EQ(form->ComPort1->Port(), first.SlavePath());
  form->CustomItem4->trigger();  // Start
  ASSERT_TRUE(WaitWithEvents([&] { return heardFirst.RequestCount() >= 1; }, 5s));
  EXPECT_TRUE(form->ComPort1->Connected());
  File(second.SlavePath() + "\n");
  form->FillPortMenu();
  EXPECT_EQ(form->ComPort1->Port(), second.SlavePath());
  EXPECT_TRUE(form->ComPort1->Connected()) << "reopened under the new name";
  EXPECT_TRUE(WaitWithEvents([&] { return heardSecond.RequestCount() >= 2; }, 5s))
      << "the scan goes on over the new port";
  form->CustomItem4->trigger();  // Stop
  WaitWithEvents([&] { return !form->Timer_Rx->Enabled(); }, 5s);
}

}  // namespace
