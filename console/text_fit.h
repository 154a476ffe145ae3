// A caption that must fit the fixed room of its control: the window's layout was measured with
// "Courier New" and "MS Sans Serif", and a face that stands in for them (another system's, or a
// display at 125 % or 150 % whose pixel sizes round differently) may draw it wider.
#pragma once

#include <QFont>
#include <QString>

// The smallest pixel size a caption is shrunk to.
inline constexpr int kSmallestCaptionPixelSize = 7;

// `font` when `caption` fits in `room` pixels; else the same font at the largest smaller pixel
// size (down to kSmallestCaptionPixelSize) at which it fits. An '&' marking an accelerator takes
// no room.
QFont FittingFont(const QFont& font, const QString& caption, int room);
