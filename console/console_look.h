// The look of the console: the fonts the window is drawn in and the flat application style.
// Sizes are pixels at 96 dpi, so the window keeps its layout whatever dot density the X server
// reports (Qt scales the whole window on high-density screens).
#pragma once

#include <QColor>
#include <QFont>

class QApplication;

// The window font, "Courier New" (Liberation Mono, its metric twin, on Linux). 8 pt is 11 px.
QFont CourierFont(int pixelSize = 11);
// The font of the row labels, the address fields and the baud list, "MS Sans Serif" where it
// exists, else a sans font of the same pixel size.
QFont SansFont(int pixelSize = 11);
// The caption font of the group boxes: the window font at 10 px, so that the long caption of the
// mode group fits its 409-pixel box and its column headings stand over the radio columns.
QFont CaptionFont();

QColor NavyColour();  // 0, 0, 128: the log at start, the button picture, the group captions
QColor ButtonFaceColour();

// Fusion with a light button-face palette and the window font as the application font.
void ApplyConsoleLook(QApplication& app);
