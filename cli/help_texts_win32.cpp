#include "bus/messages.h"
#include "cli/help_texts.h"
#include "cli/help_texts_platform.h"

const char kPortsUsage[] = N_(R"text(Usage: tarvi-cli ports [--json] [-q]
Lists the serial ports of this machine in natural order (COM2 before COM10), with the driver,
the USB vendor:product and serial number of an adapter, as Device Manager shows them under
"Ports (COM & LPT)". Windows keeps a COM number with its adapter: the same adapter gets the same
number in any USB socket, another adapter a number of its own.

      --json           one JSON document on standard output
  -q, --quiet          no output
  -h, --help           this help
)text");

const char kPortForms[] =
    N_("COM3, COM12, \\\\.\\COM12; Device Manager\n"
       "                       shows the number under \"Ports (COM & LPT)\"");
const char kPlanPort[] = "COM3";
// xgettext:no-c-format
const char kExitStatusShown[] = N_("\ncmd shows it in %ERRORLEVEL%, PowerShell in $LASTEXITCODE.");
