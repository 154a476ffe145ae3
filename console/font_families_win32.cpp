#include "console/font_families.h"

// "Microsoft Sans Serif" is the scalable twin that Windows itself substitutes for the bitmap
// "MS Sans Serif" at sizes the bitmap font lacks (Qt offers no bitmap font). After the two names
// come faces that stand in with similar metrics, ending with faces every Windows has: without
// them, a system lacking both names (or wine without its fonts) gets Qt's first family left,
// which may be a math face (DejaVu Math TeX Gyre under wine) whose digits a line edit does not
// draw at all. The Liberation and DejaVu faces are what wine finds on a Linux host.
QStringList MonospaceFamilies() {
  return {"Courier New",    "Liberation Mono", "Cousine",
          "Lucida Console", "Consolas",        "DejaVu Sans Mono"};
}

QStringList SansFamilies() {
  return {"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans", "Tahoma",
          "Segoe UI",      "DejaVu Sans"};
}
