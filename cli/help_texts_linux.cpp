#include "bus/messages.h"
#include "cli/help_texts.h"
#include "cli/help_texts_platform.h"

const char kPortsUsage[] = N_(R"(Usage: tarvi-cli ports [--json] [-q]
Lists the serial ports of this machine in natural order (ttyS2 before ttyS10), with the driver,
the USB vendor:product and serial number of an adapter, and its stable /dev/serial/by-id name,
which stays the same whichever socket the adapter is plugged into.

      --json           one JSON document on standard output
  -q, --quiet          no output
  -h, --help           this help
)");

const char kPortForms[] = N_("ttyUSB0, /dev/ttyUSB0, a path");
const char kPlanPort[] = "/dev/ttyUSB0";
const char kExitStatusShown[] = N_("\nThe shell shows it in $?.");
