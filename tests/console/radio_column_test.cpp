// A mode radio column runs its handler whenever one of its buttons becomes selected, by a click
// or by the program, and only then.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTest>
#include <QWidget>
#include <vector>

#include "console/mode_radio_column.h"

namespace {

class RadioColumnTest : public ::testing::Test {
 protected:
  RadioColumnTest() : a(&panel), b(&panel) {
    for (int mode : {0, 2, 3, 4, 5, 6, 7, 8, 9, 10}) {
      a.Add(mode, new QRadioButton(&panel));
      b.Add(mode, new QRadioButton(&panel));
    }
    a.OnSelect = [this](int mode) {
      // The others of the column are already clear when the handler runs.
      selectedA.push_back(mode);
      clearedBeforeHandler = clearedBeforeHandler && CheckedIn(a) == 1;
    };
    b.OnSelect = [this](int mode) { selectedB.push_back(mode); };
    panel.show();
  }

  static int CheckedIn(const TRadioColumn& column) {
    int checked = 0;
    for (int mode : {0, 2, 3, 4, 5, 6, 7, 8, 9, 10})
      checked += column.Button(mode)->isChecked();
    return checked;
  }
  void Click(TRadioColumn& column, int mode) {
    QRadioButton* button = column.Button(mode);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  }

  QWidget panel;
  TRadioColumn a;
  TRadioColumn b;
  std::vector<int> selectedA;
  std::vector<int> selectedB;
  bool clearedBeforeHandler = true;
};

TEST_F(RadioColumnTest, ClickSelectsWithinItsOwnColumnOnly) {
  b.Select(6);
  Click(a, 2);
  Click(a, 3);
  EXPECT_EQ(selectedA, (std::vector<int>{2, 3}));
  EXPECT_TRUE(clearedBeforeHandler);
  EXPECT_EQ(a.Selected(), 3);
  EXPECT_EQ(CheckedIn(a), 1);
  EXPECT_EQ(b.Selected(), 6);  // column B untouched
  EXPECT_EQ(selectedB, (std::vector<int>{6}));
}

TEST_F(RadioColumnTest, ClickOnTheSelectedButtonRunsNothing) {
  Click(a, 4);
  Click(a, 4);
  EXPECT_EQ(selectedA, (std::vector<int>{4}));
  EXPECT_EQ(a.Selected(), 4);
}

TEST_F(RadioColumnTest, SelectingFromTheProgramRunsTheHandler) {
  a.Select(0);
  a.Select(10);
  a.Select(1);  // no button for mode 1: nothing changes
  EXPECT_EQ(selectedA, (std::vector<int>{0, 10}));
  EXPECT_TRUE(clearedBeforeHandler);
  EXPECT_EQ(a.Selected(), 10);
}

TEST_F(RadioColumnTest, ClearingRunsNothingAndLeavesTheColumnUsable) {
  a.Select(5);
  b.Select(5);
  a.Clear();
  b.Clear();
  EXPECT_EQ(CheckedIn(a), 0);
  EXPECT_EQ(CheckedIn(b), 0);
  EXPECT_EQ(a.Selected(), -1);
  a.Select(5);  // the same button again is a new selection
  Click(a, 7);
  EXPECT_EQ(selectedA, (std::vector<int>{5, 5, 7}));
  EXPECT_EQ(CheckedIn(a), 1);
}

}  // namespace
