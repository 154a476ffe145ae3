#include "console/window_frame.h"

// The window manager draws the frame and tells its size only once the window is shown: this
// is the title bar and borders of a usual one.
int TitledFrameHeight() {
  return 30;
}
