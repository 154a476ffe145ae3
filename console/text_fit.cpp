#include "console/text_fit.h"

#include <QFontMetrics>

namespace {

QString Shown(QString caption) {
  // "&&" shows one '&'; a single '&' only underlines the letter after it.
  caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  caption.remove(QLatin1Char('&'));
  caption.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return caption;
}

}  // namespace

QFont FittingFont(const QFont& font, const QString& caption, int room) {
  const QString shown = Shown(caption);
  QFont fitting = font;
  while (QFontMetrics(fitting).horizontalAdvance(shown) > room &&
         fitting.pixelSize() > kSmallestCaptionPixelSize)
    fitting.setPixelSize(fitting.pixelSize() - 1);
  return fitting;
}
