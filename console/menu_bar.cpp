#include "console/menu_bar.h"

#include <QKeyEvent>

#include "console/application.h"

TMenuBar::TMenuBar(QWidget* parent) : QMenuBar(parent) {
  setNativeMenuBar(false);
  installEventFilter(this);
}

bool TMenuBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == this && event->type() == QEvent::MouseButtonPress && OnMouseDown) {
    RunGuarded(OnMouseDown);
  }
  return QMenuBar::eventFilter(watched, event);
}

void TMenuBar::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const bool opens =
      key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
  if (opens && activeAction() == nullptr && !actions().isEmpty()) {
    setActiveAction(actions().first());
    return;
  }
  QMenuBar::keyPressEvent(event);
}
