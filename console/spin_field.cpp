#include "console/spin_field.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <algorithm>

#include "console/application.h"

TSpinField::TSpinField(int minimum, int maximum, QWidget* parent)
    : QWidget(parent),
      minimum_(minimum),
      maximum_(maximum),
      edit_(new QLineEdit(this)),
      up_(new QToolButton(this)),
      down_(new QToolButton(this)) {
  Beep = [] { QApplication::beep(); };
  edit_->setMaxLength(kMaxLength);
  edit_->setAlignment(Qt::AlignCenter);
  // Keys are filtered below; the validator keeps pasted or dropped text to the same characters.
  edit_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9+]{0,3}")), edit_));
  edit_->setText(QString::number(minimum));
  edit_->installEventFilter(this);
  setFocusProxy(edit_);
  setFocusPolicy(Qt::StrongFocus);

  for (QToolButton* button : {up_, down_}) {
    button->setArrowType(button == up_ ? Qt::UpArrow : Qt::DownArrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setIconSize(QSize(7, 7));
  }
  QObject::connect(up_, &QToolButton::clicked, [this] { RunGuarded([this] { Step(1); }); });
  QObject::connect(down_, &QToolButton::clicked, [this] { RunGuarded([this] { Step(-1); }); });
}

QString TSpinField::text() const {
  return edit_->text();
}

bool TSpinField::ParseText(int& number) const {
  QString digits = edit_->text();
  if (digits.startsWith(QLatin1Char('+'))) digits.remove(0, 1);
  if (digits.isEmpty()) return false;
  int parsed = 0;
  for (QChar c : digits) {
    if (c < u'0' || c > u'9') return false;
    parsed = parsed * 10 + (c.unicode() - '0');
  }
  number = parsed;
  return true;
}

int TSpinField::value() const {
  int number = 0;
  if (!ParseText(number)) return minimum_;
  return std::clamp(number, minimum_, maximum_);
}

void TSpinField::SetValue(int value) {
  const int held = std::clamp(value, minimum_, maximum_);
  Show(held, held != this->value());
}

void TSpinField::Step(int delta) {
  const int before = value();
  const int after = std::clamp(before + delta, minimum_, maximum_);
  Show(after, after != before);
}

void TSpinField::TakeNearestBoundIfOutside() {
  int number = 0;
  if (!ParseText(number)) return;
  if (number < minimum_) {
    Show(minimum_, true);
  } else if (number > maximum_) {
    Show(maximum_, true);
  }
}

void TSpinField::Show(int value, bool changed) {
  const QString shown = QString::number(value);
  if (edit_->text() != shown) edit_->setText(shown);
  if (changed && OnChange) OnChange();
}

bool TSpinField::eventFilter(QObject* watched, QEvent* event) {
  if (watched != edit_) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    bool consumed = false;
    RunGuarded([&] { consumed = HandleKey(static_cast<QKeyEvent&>(*event)); });
    return consumed;
  }
  if (event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    // Switching to another application or opening a menu does not leave the field.
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      RunGuarded([this] { TakeNearestBoundIfOutside(); });
    }
  }
  return false;
}

bool TSpinField::HandleKey(QKeyEvent& key) {
  switch (key.key()) {
    case Qt::Key_Up:
      Step(1);
      return true;
    case Qt::Key_Down:
      Step(-1);
      return true;
    case Qt::Key_PageUp:
      Step(10);
      return true;
    case Qt::Key_PageDown:
      Step(-10);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      TakeNearestBoundIfOutside();
      QChar enter(u'\r');
      if (OnKeyPress) OnKeyPress(enter);
      return true;
    }
    default:
      break;
  }
  if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const QString typed = key.text();
  if (typed.size() != 1 || !typed.at(0).isPrint()) return false;  // editing and navigation keys
  QChar c = typed.at(0);
  const bool accepted = (c >= u'0' && c <= u'9') || c == u'+';
  if (!accepted) {
    if (Beep) Beep();
    return true;
  }
  if (OnKeyPress) OnKeyPress(c);
  if (c.isNull()) return true;  // the handler swallowed the key
  if (c != typed.at(0)) {       // the handler put another character in its place
    edit_->insert(QString(c));
    return true;
  }
  return false;
}

void TSpinField::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int editWidth = std::max(0, width() - kButtonWidth);
  const int upHeight = height() / 2;
  edit_->setGeometry(0, 0, editWidth, height());
  up_->setGeometry(editWidth, 0, kButtonWidth, upHeight);
  down_->setGeometry(editWidth, upHeight, kButtonWidth, height() - upHeight);
}
