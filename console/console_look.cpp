#include "console/console_look.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include "console/font_families.h"

QFont CourierFont(int pixelSize) {
  QFont font;
  // The window font is named "Courier"; Courier New is asked for instead: the layout was
  // measured with it, on Linux "Courier" resolves to a URW face with other metrics, and on
  // Windows the bitmap Courier has neither Cyrillic nor an 11-pixel size.
  font.setFamilies(MonospaceFamilies());
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(pixelSize);
  return font;
}

QFont SansFont(int pixelSize) {
  QFont font;
  font.setFamilies(SansFamilies());
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  return font;
}

QFont CaptionFont() {
  return CourierFont(10);
}

QColor NavyColour() {
  return QColor(0, 0, 128);
}
QColor ButtonFaceColour() {
  return QColor(0xF0, 0xF0, 0xF0);
}

void ApplyConsoleLook(QApplication& app) {
  app.setStyle(QStyleFactory::create("Fusion"));
  QPalette palette(ButtonFaceColour());
  palette.setColor(QPalette::Window, ButtonFaceColour());
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::AlternateBase, QColor(0xF7, 0xF7, 0xF7));
  palette.setColor(QPalette::Text, Qt::black);
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::ButtonText, Qt::black);
  palette.setColor(QPalette::Highlight, QColor(0x31, 0x6A, 0xC5));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x8C, 0x8C, 0x8C));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x8C, 0x8C, 0x8C));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x8C, 0x8C, 0x8C));
  app.setPalette(palette);
  app.setFont(CourierFont());
}
