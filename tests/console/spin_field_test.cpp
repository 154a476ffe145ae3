// TSpinField: when the value changes and the change handler runs, driven by real key presses and
// button clicks in an active window.
#include <gtest/gtest.h>

#include <ostream>

#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>
#include <vector>

#include "console/spin_field.h"
#include "tests/support/event_loop_wait.h"
#include "tests/support/case_name.h"

namespace {

// A window with the field and a second edit box to move the focus to.
class TSpinRig {
 public:
  TSpinRig() {
    auto* layout = new QVBoxLayout(&window);
    field = new TSpinField(1, 247);
    other = new QLineEdit;
    layout->addWidget(field);
    layout->addWidget(other);
    field->setFixedSize(65, 21);
    field->SetValue(247);
    field->OnChange = [this] { changes.push_back(field->value()); };
    field->OnKeyPress = [this](QChar& key) {
      if (key == u'\r') ++enters;
    };
    field->Beep = [this] { ++beeps; };
  }

  bool Show() {
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) return false;
    field->setFocus(Qt::OtherFocusReason);
    return WaitWithEvents([this] { return field->Edit()->hasFocus(); });
  }

  // Replaces the text by typing, as the operator would.
  void Type(const QString& keys) {
    field->Edit()->selectAll();
    QTest::keyClick(field->Edit(), Qt::Key_Backspace);
    QTest::keyClicks(field->Edit(), keys);
  }
  void Press(Qt::Key key) { QTest::keyClick(field->Edit(), key); }
  void Leave() { QTest::keyClick(field->Edit(), Qt::Key_Tab); }

  QWidget window;
  TSpinField* field;
  QLineEdit* other;
  std::vector<int> changes;  // the value at each run of the change handler
  int enters = 0;
  int beeps = 0;
};

struct SpinCase {
  std::string name;
  int start;
  std::function<void(TSpinRig&)> act;
  QString text;
  int value;
  std::vector<int> changes;
  int enters;
  int beeps = 0;
};

// Rows print as their names.
void PrintTo(const SpinCase& row, std::ostream* out) {
  *out << row.name;
}

class SpinFieldTest : public ::testing::TestWithParam<SpinCase> {};

TEST_P(SpinFieldTest, ChangesOnlyByItsRules) {
  const SpinCase& row = GetParam();
  TSpinRig rig;
  ASSERT_TRUE(rig.Show());
  rig.field->SetValue(row.start);
  rig.changes.clear();

  row.act(rig);

  EXPECT_EQ(rig.field->text(), row.text);
  EXPECT_EQ(rig.field->value(), row.value);
  EXPECT_EQ(rig.changes, row.changes);
  EXPECT_EQ(rig.enters, row.enters);
  EXPECT_EQ(rig.beeps, row.beeps);
}

const auto type = [](const char* keys) {
  return [keys](TSpinRig& rig) { rig.Type(QString::fromLatin1(keys)); };
};
const auto typeThen = [](const char* keys, Qt::Key key) {
  return [keys, key](TSpinRig& rig) {
    rig.Type(QString::fromLatin1(keys));
    rig.Press(key);
  };
};
const auto typeAndLeave = [](const char* keys) {
  return [keys](TSpinRig& rig) {
    rig.Type(QString::fromLatin1(keys));
    rig.Leave();
  };
};
const auto press = [](Qt::Key key, int times = 1) {
  return [key, times](TSpinRig& rig) {
    for (int i = 0; i < times; ++i)
      rig.Press(key);
  };
};

INSTANTIATE_TEST_SUITE_P(
    Typing, SpinFieldTest,
    ::testing::Values(
        SpinCase{"DigitsChangeOnlyTheText", 247, type("12"), "12", 12, {}, 0},
        SpinCase{"EnterOnANumberInRangeIsNoChange",
                 247,
                 typeThen("12", Qt::Key_Return),
                 "12",
                 12,
                 {},
                 1},
        SpinCase{"EnterAbove247TakesTheBound",
                 12,
                 typeThen("250", Qt::Key_Return),
                 "247",
                 247,
                 {247},
                 1},
        SpinCase{"EnterOnZeroTakesOne", 247, typeThen("0", Qt::Key_Enter), "1", 1, {1}, 1},
        SpinCase{
            "EmptyFieldCountsAsOneAndStaysEmpty", 247, typeThen("", Qt::Key_Return), "", 1, {}, 1},
        SpinCase{"LeavingInRangeIsNoChange", 247, typeAndLeave("12"), "12", 12, {}, 0},
        SpinCase{"LeavingAbove247TakesTheBound", 5, typeAndLeave("999"), "247", 247, {247}, 0},
        SpinCase{"LeavingOnZeroesTakesOne", 5, typeAndLeave("000"), "1", 1, {1}, 0},
        SpinCase{"PlusIsAccepted", 247, type("+12"), "+12", 12, {}, 0},
        SpinCase{"OtherPrintableCharactersAreRefused", 247, type("1a-2 .x"), "12", 12, {}, 0, 5},
        SpinCase{"AtMostThreeCharacters", 247, type("1234"), "123", 123, {}, 0},
        SpinCase{"AMisplacedPlusIsNotANumber", 247, type("1+2"), "1+2", 1, {}, 0}),
    CaseName{});

INSTANTIATE_TEST_SUITE_P(
    Stepping, SpinFieldTest,
    ::testing::Values(
        SpinCase{"UpKeyStepsOne", 246, press(Qt::Key_Up), "247", 247, {247}, 0},
        SpinCase{"UpKeyAt247IsNoChange", 247, press(Qt::Key_Up), "247", 247, {}, 0},
        SpinCase{"DownKeyAtOneIsNoChange", 1, press(Qt::Key_Down), "1", 1, {}, 0},
        SpinCase{"DownKeyStepsOne", 10, press(Qt::Key_Down, 2), "8", 8, {9, 8}, 0},
        SpinCase{"PageDownStepsTen", 247, press(Qt::Key_PageDown), "237", 237, {237}, 0},
        SpinCase{"PageUpIsHeldAt247", 240, press(Qt::Key_PageUp, 2), "247", 247, {247}, 0},
        SpinCase{"PageDownIsHeldAtOne", 5, press(Qt::Key_PageDown), "1", 1, {1}, 0},
        SpinCase{"UpFromAnEmptyFieldStartsAtOne",
                 247,
                 [](TSpinRig& rig) {
                   rig.Type("");
                   rig.Press(Qt::Key_Up);
                 },
                 "2",
                 2,
                 {2},
                 0},
        SpinCase{"UpButtonStepsOne",
                 100,
                 [](TSpinRig& rig) { QTest::mouseClick(rig.field->UpButton(), Qt::LeftButton); },
                 "101",
                 101,
                 {101},
                 0},
        SpinCase{"DownButtonAtOneIsNoChange",
                 1,
                 [](TSpinRig& rig) { QTest::mouseClick(rig.field->DownButton(), Qt::LeftButton); },
                 "1",
                 1,
                 {},
                 0}),
    CaseName{});

INSTANTIATE_TEST_SUITE_P(SetByTheProgram, SpinFieldTest,
                         ::testing::Values(SpinCase{"ADifferentValueIsAChange",
                                                    247,
                                                    [](TSpinRig& rig) { rig.field->SetValue(12); },
                                                    "12",
                                                    12,
                                                    {12},
                                                    0},
                                           SpinCase{"TheSameValueIsNoChange",
                                                    247,
                                                    [](TSpinRig& rig) { rig.field->SetValue(247); },
                                                    "247",
                                                    247,
                                                    {},
                                                    0},
                                           SpinCase{"AValueOutsideIsHeldInRange",
                                                    5,
                                                    [](TSpinRig& rig) { rig.field->SetValue(300); },
                                                    "247",
                                                    247,
                                                    {247},
                                                    0},
                                           SpinCase{"AnEmptyFieldGetsTheValue",
                                                    247,
                                                    [](TSpinRig& rig) {
                                                      rig.Type("");
                                                      rig.field->SetValue(57);
                                                    },
                                                    "57",
                                                    57,
                                                    {57},
                                                    0}),
                         CaseName{});

TEST(SpinFieldLayoutTest, ButtonsAre15PixelsWideAtTheRight) {
  TSpinField field(1, 247);
  field.setGeometry(0, 0, 65, 21);
  field.show();
  EXPECT_EQ(field.UpButton()->geometry(), QRect(50, 0, 15, 10));
  EXPECT_EQ(field.DownButton()->geometry(), QRect(50, 10, 15, 11));
  EXPECT_EQ(field.Edit()->geometry(), QRect(0, 0, 50, 21));
  EXPECT_EQ(field.Edit()->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
}

}  // namespace
