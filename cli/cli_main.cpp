#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "serial/com_exception.h"
#include "serial/message_catalogue.h"
#include "serial/program_directory.h"

namespace {

constexpr const char* kUsage = R"(Usage: tarvi-cli COMMAND [OPTION]...
Commissioning of the ТАРВИ-А and ТАРВИ-З-А signalling devices on a serial line (Modbus RTU).

Commands:
  ports                    the serial ports of this machine, with driver, USB ids, serial number
  scan -p PORT             every device of the family on the line, at one or every rate
  read -p PORT -a ADDR     a device's parameter block, decoded
  on -p PORT -a ADDR       switch a device on
  off -p PORT -a ADDR      switch a device off
  watch -p PORT -a ADDR    read a device again and again, changes marked, a summary at the end
  set -p PORT -a ADDR ...  write a device's modes, remember flag, address and rate
  apply PLAN.csv           bring every device of a plan to its settings

'tarvi-cli COMMAND --help' tells more. Options common to the device commands: -r RATE (the
line rate, default 9600), --timeout MS, --json, --trace, -q.

Exit status: 0 done; 1 a device failed (no answer, CRC error, exception, wrong reply); 2 a
mistake on the command line or in a plan; 3 the port cannot be used.
)";

}  // namespace

int RunCli(int argc, char** argv) {
  SetUpConsole();
  SetUpMessageCatalogues(ProgramDirectory());
  BuildComMessageTable();

  const std::vector<std::string> storage(argv + 1, argv + argc);
  std::vector<std::string_view> words(storage.begin(), storage.end());
  if (words.empty()) {
    std::cerr << Tr(kUsage);
    return 2;
  }
  const std::string_view verb = words.front();
  const TWords rest(words.data() + 1, words.size() - 1);
  if (verb == "-h" || verb == "--help" || verb == "help") {
    std::cout << Tr(kUsage);
    return 0;
  }
  if (verb == "--version") {
    std::cout << "tarvi-cli 1.0.0\n";
    return 0;
  }
  try {
    if (verb == "ports") return RunPorts(rest);
    if (verb == "scan") return RunScan(rest);
    if (verb == "read") return RunRead(rest);
    if (verb == "on") return RunSwitch(rest, true);
    if (verb == "off") return RunSwitch(rest, false);
    if (verb == "watch") return RunWatch(rest);
    if (verb == "set") return RunSet(rest);
    if (verb == "apply") return RunApply(rest);
    throw EUsage(Format(Tr("unknown command '%s'"), storage.front().c_str()));
  } catch (const EUsage& usage) {
    std::cerr << kProgramName << ": " << usage.what() << '\n';
    const bool known = verb == "ports" || verb == "scan" || verb == "read" || verb == "on" ||
                       verb == "off" || verb == "watch" || verb == "set" || verb == "apply";
    const std::string helpFor =
        std::string(kProgramName) + (known ? " " + std::string(verb) : std::string());
    std::cerr << Format(Tr("Try '%s --help'."), helpFor.c_str()) << '\n';
    return 2;
  }
}
