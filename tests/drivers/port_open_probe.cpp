// A second program on the same port: opens it with the serial component, as the main program
// would, and says what happened. Prints "opened" (exit 0) or the component's failure message and
// its system error code (exit 1).
//   port_open_probe PORT
#include <cstdio>

#include "serial/com_exception.h"
#include "serial/com_port.h"
#include "system/main_thread_queue.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: port_open_probe PORT\n");
    return 2;
  }
  MarkMainThread();
  TComPort port;
  port.SetPort(argv[1]);
  port.SetSyncMethod(smNone);
  try {
    port.OpenPort();
  } catch (const EComPort& failure) {
    std::printf("%s\ncode %d\n", failure.what(), failure.SystemErrorCode);
    return 1;
  }
  std::printf("opened\n");
  port.ClosePort();
  return 0;
}
