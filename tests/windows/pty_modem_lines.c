/* Preloaded into wine by tests/windows/check-window: gives a pseudo-terminal the modem-line
 * query of a serial port with nothing on its modem lines.
 *
 * Wine's wait for communication events polls the port and ends the wait, as cancelled, as soon
 * as the modem lines cannot be read (TIOCMGET), which a pseudo-terminal never allows; only a wait
 * started while bytes are already queued reports EV_RXCHAR. On a real port the query succeeds,
 * and the wait reports the bytes as they come. Answering the query on a pseudo-terminal with all
 * lines low lets the virtual device's line stand for such a port; every other call, and the
 * query on anything but a pseudo-terminal slave, goes to the C library unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* The character-device majors of pseudo-terminal slaves (/dev/pts/N). */
static int IsPtySlave(int fd) {
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return 0;
  const unsigned int major = major(status.st_rdev);
  return major >= 136 && major <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real_ioctl)(int, unsigned long, ...);
  if (real_ioctl == NULL) {
    /* POSIX's way to take a function from dlsym without converting an object pointer. */
    *(void**)&real_ioctl = dlsym(RTLD_NEXT, "ioctl");
    if (real_ioctl == NULL) {
      errno = ENOSYS;
      return -1;
    }
  }
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  const int result = real_ioctl(fd, request, argument);
  if (result == -1 && request == TIOCMGET && errno == ENOTTY && argument != NULL &&
      IsPtySlave(fd)) {
    *(int*)argument = 0;
    return 0;
  }
  return result;
}
