// TStatusBar: the status bar along the bottom of the window, with fixed-width panels side by side
// (the last one may be wider than the window and is then cut off at its edge).
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>
#include <vector>

class TStatusBar : public QWidget {
 public:
  struct TPanel {
    int width;
    Qt::Alignment alignment;
  };

  TStatusBar(const std::vector<TPanel>& panels, QWidget* parent = nullptr);

  int PanelCount() const { return static_cast<int>(panels_.size()); }
  QLabel* Panel(int index) const { return panels_.at(static_cast<std::size_t>(index)); }
  QString PanelText(int index) const { return Panel(index)->text(); }
  void SetPanelText(int index, const QString& text) { Panel(index)->setText(text); }

  static constexpr int kHeight = 21;

 private:
  std::vector<QLabel*> panels_;
};
