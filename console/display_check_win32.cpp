#include "console/display_check.h"

// A Windows session always has its desktop.
std::string MissingDisplayReason() {
  return {};
}
