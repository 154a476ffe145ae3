#include "console/segmented_progress_bar.h"

#include <QPainter>
#include <algorithm>

#include "console/console_look.h"

namespace {
constexpr int kBlockWidth = 7;
constexpr int kBlockGap = 2;
}  // namespace

TSegmentedProgressBar::TSegmentedProgressBar(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  setOrientation(Qt::Horizontal);
}

void TSegmentedProgressBar::SetPosition(int position) {
  setValue(std::clamp(position, minimum(), maximum()));
}

void TSegmentedProgressBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect outer = rect().adjusted(0, 0, -1, -1);
  painter.fillRect(rect(), palette().color(QPalette::Base));
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(outer.topLeft(), outer.topRight());
  painter.drawLine(outer.topLeft(), outer.bottomLeft());
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(outer.bottomLeft(), outer.bottomRight());
  painter.drawLine(outer.topRight(), outer.bottomRight());

  const QRect inner = rect().adjusted(2, 2, -2, -2);
  const int span = maximum() - minimum();
  if (span <= 0 || inner.width() <= 0) return;
  const int filled = inner.width() * (value() - minimum()) / span;
  for (int x = 0; x < filled; x += kBlockWidth + kBlockGap) {
    const int width = std::min(kBlockWidth, inner.width() - x);
    painter.fillRect(QRect(inner.left() + x, inner.top(), width, inner.height()), NavyColour());
  }
}
