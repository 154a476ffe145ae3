#include "console/font_families.h"

// Linux has neither font: Liberation Mono and Liberation Sans are their metric twins, DejaVu
// the last resort when the Liberation fonts are missing.
QStringList MonospaceFamilies() {
  return {"Courier New", "Liberation Mono", "DejaVu Sans Mono"};
}

QStringList SansFamilies() {
  return {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"};
}
