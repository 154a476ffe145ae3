#include <windows.h>

#include "console/window_frame.h"

// Windows draws the frame and knows its size beforehand, for the window's own styles.
int TitledFrameHeight() {
  RECT rect{0, 0, 100, 100};
  const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_BORDER;
  if (!AdjustWindowRectEx(&rect, style, FALSE, 0)) return 30;
  return (rect.bottom - rect.top) - 100;
}
