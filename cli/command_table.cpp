// The table of the subcommands and the overview help made from it.
#include "bus/messages.h"
#include "bus/settings.h"
#include "cli/commands.h"
#include "cli/help_texts.h"
#include "cli/setting_options.h"

namespace {

// The options of every command that talks to one device.
constexpr TOptionSpec kDeviceOptions[] = {kPortOption,  kAddressOption, kRateOption,  kJsonOption,
                                          kTraceOption, kTimeoutOption, kQuietOption, kHelpOption,
                                          kGapOption,   kEchoOption,    kRs485Option};

constexpr TOptionSpec kPortsOptions[] = {kJsonOption, kQuietOption, kHelpOption};

constexpr TOptionSpec kScanOptions[] = {kPortOption,
                                        kRatesOption,
                                        kJsonOption,
                                        kTraceOption,
                                        kTimeoutOption,
                                        kQuietOption,
                                        kHelpOption,
                                        kGapOption,
                                        kEchoOption,
                                        kRs485Option,
                                        {"from", 0, true, TValueKind::Free},
                                        {"to", 0, true, TValueKind::Free},
                                        {"first", 0, false},
                                        {"delay", 0, true, TValueKind::Free}};

constexpr TOptionSpec kWatchOptions[] = {{"count", 'n', true, TValueKind::Free},
                                         {"interval", 'i', true, TValueKind::Free}};

constexpr TOptionSpec kApplyOptions[] = {
    kJsonOption, kTraceOption, kTimeoutOption, kQuietOption,
    kHelpOption, kGapOption,   kEchoOption,    {"stop-on-error", 0, false}};

constexpr TOptionSpec kMonitorOptions[] = {kPortOption,
                                           kRateOption,
                                           kJsonOption,
                                           kQuietOption,
                                           kHelpOption,
                                           kGapOption,
                                           {"count", 'n', true, TValueKind::Free},
                                           {"duration", 0, true, TValueKind::Free}};

const TCommand kCommands[] = {
    {.name = "ports",
     .synopsis = N_("ports"),
     .summary = N_("the serial ports of this machine, with driver, USB ids, serial number"),
     .usage = kPortsUsage,
     .options = kPortsOptions,
     .needsPort = false,
     .needsAddress = false,
     .run = RunPorts},
    {.name = "scan",
     .synopsis = N_("scan -p PORT"),
     .summary = N_("every device of the family on the line, at one or every rate"),
     .usage = kScanUsage,
     .options = kScanOptions,
     .needsPort = true,
     .needsAddress = false,
     .run = RunScan},
    {.name = "read",
     .synopsis = N_("read -p PORT -a ADDR"),
     .summary = N_("a device's parameter block, decoded"),
     .usage = kReadUsage,
     .options = kDeviceOptions,
     .needsPort = true,
     .needsAddress = true,
     .run = RunRead},
    {.name = "on",
     .synopsis = N_("on -p PORT -a ADDR"),
     .summary = N_("switch a device on"),
     .usage = kSwitchUsage,
     .options = kDeviceOptions,
     .needsPort = true,
     .needsAddress = true,
     .run = RunOn},
    {.name = "off",
     .synopsis = N_("off -p PORT -a ADDR"),
     .summary = N_("switch a device off"),
     .usage = kSwitchUsage,
     .options = kDeviceOptions,
     .needsPort = true,
     .needsAddress = true,
     .run = RunOff},
    {.name = "watch",
     .synopsis = N_("watch -p PORT -a ADDR"),
     .summary = N_("read a device again and again, changes marked, a summary at the end"),
     .usage = kWatchUsage,
     .options = kDeviceOptions,
     .ownOptions = kWatchOptions,
     .needsPort = true,
     .needsAddress = true,
     .run = RunWatch},
    {.name = "set",
     .synopsis = N_("set -p PORT -a ADDR ..."),
     .summary = N_("write a device's modes, remember flag, address and rate"),
     .usage = kSetUsage,
     .options = kDeviceOptions,
     .ownOptions = kSettingOptions,
     .needsPort = true,
     .needsAddress = true,
     .run = RunSet},
    {.name = "apply",
     .synopsis = N_("apply PLAN.csv"),
     .summary = N_("bring every device of a plan to its settings"),
     .usage = kApplyUsage,
     .options = kApplyOptions,
     .needsPort = false,
     .needsAddress = false,
     .fileMissing = N_("apply needs exactly one plan file"),
     .run = RunApply},
    {.name = "monitor",
     .synopsis = N_("monitor -p PORT"),
     .summary = N_("listen to a line another master drives, decoded, a summary at the end"),
     .usage = kMonitorUsage,
     .options = kMonitorOptions,
     .needsPort = true,
     .needsAddress = false,
     .run = RunMonitor},
};

constexpr const char* kOverviewHead =
    N_("Usage: tarvi-cli COMMAND [OPTION]...\n"
       "Commissioning of the ТАРВИ-А and ТАРВИ-З-А signalling devices on a serial line (Modbus "
       "RTU).\n\nCommands:\n");

constexpr const char* kOverviewTail = N_(R"(
'tarvi-cli COMMAND --help' tells more. Options common to the device commands: -r RATE (the
line rate, default 9600), --timeout MS, --json, --trace, -q.

Exit status: 0 done; 1 a device failed (no answer, CRC error, exception, wrong reply); 2 a
mistake on the command line or in a plan; 3 the port cannot be used.{exit-status}
)");

}  // namespace

std::span<const TCommand> Commands() {
  return kCommands;
}

const TCommand* FindCommand(std::string_view name) {
  for (const TCommand& command : kCommands)
    if (command.name == name) return &command;
  return nullptr;
}

std::vector<TOptionSpec> OptionsOf(const TCommand& command) {
  std::vector<TOptionSpec> options(command.options.begin(), command.options.end());
  options.insert(options.end(), command.ownOptions.begin(), command.ownOptions.end());
  return options;
}

bool TakesOption(const TCommand& command, std::string_view longName, TValueKind kind) {
  for (const TOptionSpec& spec : OptionsOf(command))
    if (spec.longName == longName && (kind == TValueKind::None || spec.value == kind)) return true;
  return false;
}

std::string OverviewHelp() {
  // The synopses and summaries are literals of the table, so their data() are catalogue ids.
  std::string text = Tr(kOverviewHead);
  for (const TCommand& command : kCommands)
    text +=
        "  " + PadRight(Tr(command.synopsis.data()), 24) + " " + Tr(command.summary.data()) + "\n";
  return text + HelpText(kOverviewTail);
}
