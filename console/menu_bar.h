// TMenuBar: the window's menu bar, placed like any other control. OnMouseDown runs on every mouse
// press on the bar, before a drop-down opens (the Port menu is refilled there). While the bar has
// the keyboard focus, Down, Enter or Space opens its first menu.
#pragma once

#include <QMenuBar>
#include <functional>

class TMenuBar : public QMenuBar {
 public:
  explicit TMenuBar(QWidget* parent = nullptr);

  std::function<void()> OnMouseDown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};
