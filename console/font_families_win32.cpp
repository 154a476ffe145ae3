#include "console/font_families.h"

// Windows has both fonts. "Microsoft Sans Serif" is the scalable twin that Windows itself
// substitutes for the bitmap "MS Sans Serif" at sizes the bitmap font lacks.
QStringList MonospaceFamilies() {
  return {"Courier New"};
}

QStringList SansFamilies() {
  return {"MS Sans Serif", "Microsoft Sans Serif"};
}
