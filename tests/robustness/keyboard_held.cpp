// tarvi-test-keyboard-held: exits 0 while a client of the display holds the keyboard (the
// program's drop-down list or menu once it takes the keys), 1 while no client does, 3 when the
// display cannot be reached.
//
// A popup of the program is mapped before it grabs the keyboard, and keys sent in between go to
// the window that has the focus. So a test waits for the grab, not for the map. The probe asks
// for a grab of its own and lets go of it in the same write: the server handles both requests
// of one client together before it turns to the next, so the probe never holds the keyboard
// while the program asks for it.
#include <xcb/xcb.h>

#include <cstdlib>

int main() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return 3;
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_grab_keyboard_cookie_t grab = xcb_grab_keyboard(
      connection, 0, screen->root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
  // Taking the reply writes both requests at once.
  xcb_grab_keyboard_reply_t* reply = xcb_grab_keyboard_reply(connection, grab, nullptr);
  const bool held = reply != nullptr && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
  std::free(reply);
  xcb_disconnect(connection);
  return held ? 0 : 1;
}
