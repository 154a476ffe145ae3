// Link settings: the BaudRate and Delay items keep exactly one check mark and set the PC's rate or
// the search delay; the address field sets DeviceAddress, TeLabel5 and panel 2 by its rules.
#include <QLineEdit>
#include <QTest>

#include "tests/support/event_loop_wait.h"
#include "tests/console/form_fixture.h"
#include "tests/support/case_name.h"

#include <ostream>

namespace {

QStringList CheckedItems(const QMenu* menu) {
  QStringList checked;
  for (const QAction* item : menu->actions()) {
    if (item->isChecked()) checked << item->text();
  }
  return checked;
}

struct BaudItemCase {
  std::string name;
  int index;
  QString caption;
  TBaudRate rate;
};

// Rows print as their names.
void PrintTo(const BaudItemCase& row, std::ostream* out) {
  *out << row.name;
}

class BaudItemTest : public FormTest, public ::testing::WithParamInterface<BaudItemCase> {};

TEST_P(BaudItemTest, ChoosingARateChecksItAloneAndSetsThePort) {
  const BaudItemCase& row = GetParam();
  form->BaudItems[static_cast<std::size_t>(row.index)]->trigger();
  EXPECT_EQ(CheckedItems(form->CustomItem3), QStringList{row.caption});
  EXPECT_EQ(form->StatusBar1->PanelText(1), "BaudRate = " + row.caption);
  EXPECT_EQ(form->ComPort1->BaudRate(), row.rate);
  // The device's rate is not the PC's: panel 2, BaudIndex and the baud list stay as they were.
  EXPECT_EQ(form->StatusBar1->PanelText(2), "DEVICE : A = 247; Baud = 9600");
  EXPECT_EQ(LinkState.BaudIndex, 3);
  EXPECT_EQ(form->TeSComboBox1->currentIndex(), 3);
  // Nothing was sent.
  EXPECT_EQ(form->TeMemo1->Lines(), QStringList({"TX :", "RX :"}));
}

INSTANTIATE_TEST_SUITE_P(Items, BaudItemTest,
                         ::testing::Values(BaudItemCase{"Rate1200", 0, "1200", br1200},
                                           BaudItemCase{"Rate2400", 1, "2400", br2400},
                                           BaudItemCase{"Rate4800", 2, "4800", br4800},
                                           BaudItemCase{"TheCheckedRate9600", 3, "9600", br9600},
                                           BaudItemCase{"Rate14400", 4, "14400", br14400},
                                           BaudItemCase{"Rate19200", 5, "19200", br19200},
                                           BaudItemCase{"Rate38400", 6, "38400", br38400},
                                           BaudItemCase{"Rate57600", 7, "57600", br57600}),
                         CaseName{});

struct DelayItemCase {
  std::string name;
  int index;
  QString caption;
  int delayMs;
};

void PrintTo(const DelayItemCase& row, std::ostream* out) {
  *out << row.name;
}

class DelayItemTest : public FormTest, public ::testing::WithParamInterface<DelayItemCase> {};

TEST_P(DelayItemTest, ChoosingADelayChecksItAloneAndSetsIt) {
  const DelayItemCase& row = GetParam();
  form->DelayItems[static_cast<std::size_t>(row.index)]->trigger();
  EXPECT_EQ(CheckedItems(form->CustomItem5), QStringList{row.caption});
  EXPECT_EQ(LinkState.SearchDelayMs, row.delayMs);
}

INSTANTIATE_TEST_SUITE_P(Items, DelayItemTest,
                         ::testing::Values(DelayItemCase{"Delay100", 0, "100ms", 100},
                                           DelayItemCase{"TheCheckedDelay150", 1, "150ms", 150},
                                           DelayItemCase{"Delay200", 2, "200ms", 200},
                                           DelayItemCase{"Delay250", 3, "250ms", 250},
                                           DelayItemCase{"Delay300", 4, "300ms", 300},
                                           DelayItemCase{"Delay350", 5, "350ms", 350}),
                         CaseName{});

TEST_F(FormTest, ChoosingTwoRatesInARowLeavesOnlyTheLast) {
  form->BR_19200->trigger();
  form->BR_1200->trigger();
  EXPECT_EQ(CheckedItems(form->CustomItem3), QStringList{"1200"});
  EXPECT_EQ(form->ComPort1->BaudRate(), br1200);
}

// The address field, driven by keys in the shown window.
struct AddressCase {
  std::string name;
  std::function<void(TSpinField*)> act;
  QString fieldText;
  int deviceAddress;
  QString label;
  QString panel2;
};

void PrintTo(const AddressCase& row, std::ostream* out) {
  *out << row.name;
}

class AddressFieldTest : public FormTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(AddressFieldTest, FieldLabelAndPanelFollowTheRules) {
  const AddressCase& row = GetParam();
  ASSERT_TRUE(ShowActive());
  form->TeSpinEdit1->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(WaitWithEvents([&] { return form->TeSpinEdit1->Edit()->hasFocus(); }));
  row.act(form->TeSpinEdit1);
  EXPECT_EQ(form->TeSpinEdit1->text(), row.fieldText);
  EXPECT_EQ(LinkState.DeviceAddress, row.deviceAddress);
  EXPECT_EQ(form->TeLabel5->text(), row.label);
  EXPECT_EQ(form->StatusBar1->PanelText(2), row.panel2);
}

void Type(TSpinField* field, const char* keys) {
  field->Edit()->selectAll();
  QTest::keyClick(field->Edit(), Qt::Key_Backspace);
  QTest::keyClicks(field->Edit(), QString::fromLatin1(keys));
}
auto TypeEnter(const char* keys) {
  return [keys](TSpinField* field) {
    Type(field, keys);
    QTest::keyClick(field->Edit(), Qt::Key_Return);
  };
}

const QString kAddress = QString::fromUtf8(
    "\u0410\u0414\u0420\u0415\u0421 \u041F\u0420\u0418\u0411\u041E\u0420\u0410 - ");

INSTANTIATE_TEST_SUITE_P(
    Keys, AddressFieldTest,
    ::testing::Values(
        AddressCase{"TwelveAndEnter", TypeEnter("12"), "12", 12, kAddress + "12",
                    "DEVICE : A = 12; Baud = 9600;"},
        AddressCase{"Above247AndEnter", TypeEnter("250"), "247", 247, kAddress + "247",
                    "DEVICE : A = 247; Baud = 9600;"},
        AddressCase{"ZeroAndEnter", TypeEnter("0"), "1", 1, kAddress + "1",
                    "DEVICE : A = 1; Baud = 9600;"},
        AddressCase{"EmptyAndEnter", TypeEnter(""), "", 1, kAddress + "1",
                    "DEVICE : A = 1; Baud = 9600;"},
        AddressCase{"TwelveAndLeaving",
                    [](TSpinField* field) {
                      Type(field, "12");
                      QTest::keyClick(field->Edit(), Qt::Key_Tab);
                    },
                    "12", 247, kAddress + "247", "DEVICE : A = 247; Baud = 9600"},
        AddressCase{"UpAt247",
                    [](TSpinField* field) { QTest::keyClick(field->Edit(), Qt::Key_Up); }, "247",
                    247, kAddress + "247", "DEVICE : A = 247; Baud = 9600"},
        AddressCase{"PageDown",
                    [](TSpinField* field) { QTest::keyClick(field->Edit(), Qt::Key_PageDown); },
                    "237", 237, kAddress + "237", "DEVICE : A = 237; Baud = 9600;"}),
    CaseName{});

TEST_F(FormTest, SecondAddressFieldChangesNothing) {
  ASSERT_TRUE(ShowActive());
  form->TeSpinEdit2->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(WaitWithEvents([&] { return form->TeSpinEdit2->Edit()->hasFocus(); }));
  Type(form->TeSpinEdit2, "5");
  QTest::keyClick(form->TeSpinEdit2->Edit(), Qt::Key_Return);
  QTest::keyClick(form->TeSpinEdit2->Edit(), Qt::Key_Up);
  EXPECT_EQ(form->TeSpinEdit2->value(), 6);
  EXPECT_EQ(LinkState.DeviceAddress, 247);
  EXPECT_EQ(form->StatusBar1->PanelText(2), "DEVICE : A = 247; Baud = 9600");
  EXPECT_EQ(form->TeLabel5->text(), kAddress + "247");
}

TEST_F(FormTest, AddressSetByTheProgramRunsTheChangeHandlerWhenItDiffers) {
  TConsoleLink& console = *form;
  console.SetAddressField(247);
  EXPECT_EQ(form->StatusBar1->PanelText(2), "DEVICE : A = 247; Baud = 9600");
  console.SetAddressField(57);
  EXPECT_EQ(LinkState.DeviceAddress, 57);
  EXPECT_EQ(form->TeSpinEdit1->text(), "57");
  EXPECT_EQ(form->TeLabel5->text(), kAddress + "57");
  EXPECT_EQ(form->StatusBar1->PanelText(2), "DEVICE : A = 57; Baud = 9600;");
}

}  // namespace
