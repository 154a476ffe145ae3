// TSegmentedProgressBar: a horizontal progress bar with a sunken border whose filled part is drawn
// as separate blocks. A position outside the range is held at the nearest bound, as a native
// progress bar does, instead of being ignored.
#pragma once

#include <QProgressBar>

class TSegmentedProgressBar : public QProgressBar {
 public:
  explicit TSegmentedProgressBar(QWidget* parent = nullptr);

  void SetPosition(int position);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
