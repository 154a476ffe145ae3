// The exit statuses of tarvi-cli, one meaning each (the manual page lists them).
#pragma once

enum class TExitStatus {
  Done = 0,
  DeviceFailed = 1,  // no answer, CRC error, exception, wrong reply; scan: none found
  Usage = 2,         // a mistake on the command line or in a plan; nothing was sent
  PortFailed = 3,    // the port cannot be used
};
