#include "console/repeat_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "console/console_look.h"

namespace {
QPixmap DrawRepeat(const QColor& colour) {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::FlatCap));
  painter.setBrush(Qt::NoBrush);
  const QRectF ring(2.5, 2.5, 11, 11);
  // Upper arc from the left round to the right, lower arc from the right round to the left.
  painter.drawArc(ring, 200 * 16, -150 * 16);
  painter.drawArc(ring, 20 * 16, -150 * 16);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  // Arrowheads at the end of each arc, pointing along it.
  QPainterPath heads;
  heads.moveTo(15.5, 6.0);
  heads.lineTo(10.5, 6.5);
  heads.lineTo(14.0, 10.5);
  heads.closeSubpath();
  heads.moveTo(0.5, 10.0);
  heads.lineTo(5.5, 9.5);
  heads.lineTo(2.0, 5.5);
  heads.closeSubpath();
  painter.drawPath(heads);
  return picture;
}
}  // namespace

QIcon MakeRepeatIcon() {
  QIcon icon;
  icon.addPixmap(DrawRepeat(NavyColour()), QIcon::Normal);
  icon.addPixmap(DrawRepeat(QColor(0x8C, 0x8C, 0x8C)), QIcon::Disabled);
  return icon;
}
