// Captions shrink to their control's room only when the face in use draws them wider.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include "console/console_look.h"
#include "console/text_fit.h"

namespace {

const QString kCaption = QStringLiteral("ЗАПОМИНАТЬ ПОСЛЕДНЮЮ УПРАВ. КОМАНДУ ПРИ ОТКЛЮЧ. ПИТАНИЯ");

int Width(const QFont& font, const QString& text) {
  return QFontMetrics(font).horizontalAdvance(text);
}

TEST(FittingFont, KeepsAFittingCaptionAndShrinksOneThatIsTooWide) {
  const QFont font = CourierFont(11);
  const int natural = Width(font, kCaption);
  EXPECT_EQ(FittingFont(font, kCaption, natural), font) << "fits exactly: unchanged";

  const QFont shrunk = FittingFont(font, kCaption, natural * 3 / 4);
  EXPECT_LT(shrunk.pixelSize(), 11);
  EXPECT_LE(Width(shrunk, kCaption), natural * 3 / 4);
  QFont oneLarger = shrunk;
  oneLarger.setPixelSize(shrunk.pixelSize() + 1);
  EXPECT_GT(Width(oneLarger, kCaption), natural * 3 / 4) << "the largest size that fits";
  EXPECT_EQ(shrunk.families(), font.families());

  EXPECT_EQ(FittingFont(font, kCaption, 10).pixelSize(), kSmallestCaptionPixelSize)
      << "no room: the smallest size, not less";
}

TEST(FittingFont, AnAcceleratorMarkTakesNoRoom) {
  const QFont font = CourierFont(11);
  const QString shown = QStringLiteral("ЗАПРОС ПАРАМЕТРОВ");
  EXPECT_EQ(FittingFont(font, QStringLiteral("&") + shown, Width(font, shown)), font);
}

}  // namespace
