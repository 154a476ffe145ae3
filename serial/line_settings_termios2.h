// Applying a line-settings record to an open Linux tty in one call, at any rate in bits per
// second (TCSETS2 with BOTHER: Linux has no constant for 14400, 56000, 128000 or 256000).
// Declared without any termios type so that callers may include glibc's <termios.h>.
#pragma once

#include "serial/serial_device.h"

// Sets raw mode, CLOCAL|CREAD, HUPCL off, the rate, data bits, parity (mark and space through
// CMSPAR), stop bits (1.5 taken as 2), CRTSCTS and IXON/IXOFF. Returns 0 or the errno.
int ApplyLineSettingsTermios2(int fd, const TLineSettings& settings);
