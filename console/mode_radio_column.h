// TRadioColumn: one column of mode radio buttons (mode values 0, 2..10), an exclusive group of
// its own. OnSelect runs whenever a button becomes selected, by a click or by Select, after the
// other buttons of the column have been cleared; it does not run for a button that is cleared or
// that is clicked while already selected. OnSelect runs through RunGuarded. Main thread only.
#pragma once

#include <QButtonGroup>
#include <QRadioButton>
#include <functional>
#include <map>

class TRadioColumn {
 public:
  explicit TRadioColumn(QObject* owner);

  // Adds the button for a mode value; the column takes over its selection rules.
  void Add(int mode, QRadioButton* button);
  // Selects the button of a mode value (running OnSelect); a value without a button changes
  // nothing.
  void Select(int mode);
  // Clears every button of the column without running OnSelect.
  void Clear();
  // The selected mode value, or -1 when none is selected.
  int Selected() const;
  QRadioButton* Button(int mode) const;

  std::function<void(int mode)> OnSelect;

 private:
  QButtonGroup* group_;
  std::map<int, QRadioButton*> buttons_;
};
