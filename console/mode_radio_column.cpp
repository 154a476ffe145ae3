#include "console/mode_radio_column.h"

#include "console/application.h"

TRadioColumn::TRadioColumn(QObject* owner) : group_(new QButtonGroup(owner)) {
  group_->setExclusive(true);
}

void TRadioColumn::Add(int mode, QRadioButton* button) {
  buttons_[mode] = button;
  group_->addButton(button, mode);
  QObject::connect(button, &QRadioButton::toggled, [this, mode](bool selected) {
    if (selected && OnSelect) RunGuarded([this, mode] { OnSelect(mode); });
  });
}

void TRadioColumn::Select(int mode) {
  if (QRadioButton* button = Button(mode)) button->setChecked(true);
}

void TRadioColumn::Clear() {
  // An exclusive group refuses to clear its checked button; lift the rule for the moment.
  group_->setExclusive(false);
  for (const auto& [mode, button] : buttons_)
    button->setChecked(false);
  group_->setExclusive(true);
}

int TRadioColumn::Selected() const {
  return group_->checkedButton() ? group_->checkedId() : -1;
}

QRadioButton* TRadioColumn::Button(int mode) const {
  const auto found = buttons_.find(mode);
  return found == buttons_.end() ? nullptr : found->second;
}
