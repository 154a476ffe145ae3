#include "console/flat_group_box.h"

#include <QFontMetricsF>
#include <QPainter>

#include "console/console_look.h"

TFlatGroupBox::TFlatGroupBox(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent), captionFont_(CaptionFont()) {
  // The caption font is used for the caption alone: set on the box, it would pass down to every
  // control inside that has no font of its own, in place of the window's font.
  setFlat(true);
}

std::pair<double, double> TFlatGroupBox::CaptionSpan(const QString& part) const {
  const qsizetype at = title().indexOf(part);
  if (at < 0) return {-1.0, -1.0};
  const QFontMetricsF metrics(captionFont_);
  const double left = kCaptionLeft + metrics.horizontalAdvance(title().left(at));
  return {left, left + metrics.horizontalAdvance(part)};
}

void TFlatGroupBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetricsF metrics(captionFont_);
  const int frameTop = static_cast<int>(metrics.height() / 2);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(QRect(0, frameTop, width() - 1, height() - frameTop - 1));
  // The blanks of a caption are part of it: they are drawn over the frame line as well.
  if (title().isEmpty()) return;
  const QRectF captionRect(kCaptionLeft, 0, metrics.horizontalAdvance(title()), metrics.height());
  painter.fillRect(captionRect, palette().color(QPalette::Window));
  painter.setPen(NavyColour());
  painter.setFont(captionFont_);
  painter.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title());
}
