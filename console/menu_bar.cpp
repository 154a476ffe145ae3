#include "console/menu_bar.h"

#include <QKeyEvent>

#include "console/application.h"

TMenuBar::TMenuBar(QWidget* parent) : QMenuBar(parent) {
  setNativeMenuBar(false);
  // Flat: the bar blends into the window, an item shows only while it is pressed or hovered.
  setStyleSheet(
      QStringLiteral("QMenuBar { background: transparent; border: none; }"
                     "QMenuBar::item { background: transparent; padding: 3px 6px; }"
                     "QMenuBar::item:selected, QMenuBar::item:pressed {"
                     " background: palette(highlight); color: palette(highlighted-text); }"));
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
