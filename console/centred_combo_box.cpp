#include "console/centred_combo_box.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QWheelEvent>

TCentredComboBox::TCentredComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setFocusPolicy(Qt::StrongFocus);
}

void TCentredComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const QString text = option.currentText;
  option.currentText.clear();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.drawText(field, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void TCentredComboBox::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    event->ignore();
    return;
  }
  QComboBox::wheelEvent(event);
}
