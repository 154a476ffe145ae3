// The subcommands of tarvi-cli in one table: each with its name, its line in the overview help,
// its --help, its options, whether it needs a port and an address, and the function that runs
// it. The help, the dispatch and the bash completion's word lists all come from this table.
//
// A command runs in three steps: the dispatcher parses the words against the command's options
// (common options, --help and the positional words are handled there, once); the command then
// reads its own options, runs, and reports. A usage mistake is thrown as EUsage before anything
// is sent; every other failure is reported through RunReporting (session.h).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_status.h"

struct TCommand;

// What the dispatcher hands a command: its row, the parsed words and the common options.
struct TInvocation {
  const TCommand& command;
  const TArguments& arguments;
  const TCommon& common;
};

struct TCommand {
  std::string_view name;
  std::string_view synopsis;  // "scan -p PORT", in the overview help
  std::string_view summary;   // what it does, in the overview help
  const char* usage;          // its --help (a catalogue text)
  // Its options: a shared group and its own (either may be empty).
  std::span<const TOptionSpec> options;
  std::span<const TOptionSpec> ownOptions{};
  bool needsPort = false;
  bool needsAddress = false;
  // The message when the one file it takes is not given; null: it takes no positional word.
  const char* fileMissing = nullptr;
  TExitStatus (*run)(const TInvocation& invocation) = nullptr;
};

// Every command, in the order of the overview help.
std::span<const TCommand> Commands();
// The command of that name, or null.
const TCommand* FindCommand(std::string_view name);
// Its options: the shared group, then its own.
std::vector<TOptionSpec> OptionsOf(const TCommand& command);
// True when the command takes the option `longName`; with a kind, only an option of that kind.
bool TakesOption(const TCommand& command, std::string_view longName,
                 TValueKind kind = TValueKind::None);

// The help of tarvi-cli itself: the commands with their summaries and the exit statuses.
std::string OverviewHelp();

// The bash completion script of tarvi-cli, its word lists taken from the table.
std::string BashCompletionScript();

// The commands' functions (one file each) and their help texts.
TExitStatus RunPorts(const TInvocation& invocation);
TExitStatus RunScan(const TInvocation& invocation);
TExitStatus RunRead(const TInvocation& invocation);
TExitStatus RunOn(const TInvocation& invocation);
TExitStatus RunOff(const TInvocation& invocation);
TExitStatus RunWatch(const TInvocation& invocation);
TExitStatus RunSet(const TInvocation& invocation);
TExitStatus RunApply(const TInvocation& invocation);
TExitStatus RunMonitor(const TInvocation& invocation);
extern const char kScanUsage[];
extern const char kReadUsage[];
extern const char kSwitchUsage[];
extern const char kWatchUsage[];
extern const char kSetUsage[];
extern const char kApplyUsage[];
extern const char kMonitorUsage[];

// The whole program: argv in, exit status out.
int RunCli(int argc, char** argv);
