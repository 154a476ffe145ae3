// tarvi-test-close-window WINDOW: asks an X window to close the way a window manager's close
// button does, with a WM_DELETE_WINDOW message, so that tests under a bare X server (no window
// manager) can close the program's window as an operator would.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s WINDOW-ID\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "cannot open the display\n");
    return 3;
  }
  const Window window = std::strtoul(argv[1], nullptr, 0);
  XEvent message{};
  message.xclient.type = ClientMessage;
  message.xclient.window = window;
  message.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  message.xclient.format = 32;
  message.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  message.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &message);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
