// TSpinField: a whole-number field held in [minimum, maximum] (the address fields, 1..247): an
// edit box of at most 3 characters with up/down buttons 15 px wide at its right.
//
// The value changes, and OnChange runs, only in these cases:
//  - an up/down button or the Up/Down key steps by 1, Page Up/Page Down by 10, held in range;
//    a step that leaves the value as it was (at a bound) is no change;
//  - SetValue with a value that differs from value();
//  - Enter, or the focus leaving the field, while the typed number lies outside the range: the
//    field first takes the nearest bound, which is a change.
// Typing changes only the text. The edit accepts the digits and '+', and refuses any other
// printable character with a beep. A text that is not a number (an empty field, "+") counts as
// the minimum. OnKeyPress sees every accepted character and Enter ('\r') before the field acts
// on it; setting the key to 0 swallows it. Handlers run through RunGuarded. Main thread only.
#pragma once

#include <QChar>
#include <QString>
#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

class TSpinField : public QWidget {
 public:
  TSpinField(int minimum, int maximum, QWidget* parent = nullptr);

  // The text as a number held in range; a text that is not a number counts as the minimum.
  int value() const;
  void SetValue(int value);
  QString text() const;

  QLineEdit* Edit() const { return edit_; }
  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

  std::function<void()> OnChange;
  std::function<void(QChar& key)> OnKeyPress;
  // How a refused character is signalled: the system beep.
  std::function<void()> Beep;

  static constexpr int kButtonWidth = 15;
  static constexpr int kMaxLength = 3;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The typed number, if the text is one (digits with an optional leading '+').
  bool ParseText(int& number) const;
  void Step(int delta);
  void TakeNearestBoundIfOutside();
  // Shows value as the text; runs OnChange when asked to.
  void Show(int value, bool changed);
  bool HandleKey(QKeyEvent& key);

  int minimum_;
  int maximum_;
  QLineEdit* edit_;
  QToolButton* up_;
  QToolButton* down_;
};
