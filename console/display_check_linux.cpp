#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

#include "console/display_check.h"

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string MissingDisplayReason() {
  // A platform other than the two desktop ones (offscreen, vnc, eglfs...) needs no display.
  const std::string platform = Environment("QT_QPA_PLATFORM");
  const bool desktopPlatform =
      platform.empty() || platform.rfind("xcb", 0) == 0 || platform.rfind("wayland", 0) == 0;
  if (!desktopPlatform) return {};
  if (!Environment("WAYLAND_DISPLAY").empty()) return {};
  const std::string display = Environment("DISPLAY");
  if (display.empty())
    return "no graphical display found (neither DISPLAY nor WAYLAND_DISPLAY is set)";
  // Set but unreachable (a stale variable, an X server that has gone): try it as the toolkit would.
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const bool reachable = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  if (reachable) return {};
  return "no graphical display found (cannot connect to DISPLAY " + display + ")";
}
