// The dispatcher: finds the command in the table, parses its words, answers --help, checks the
// positional words and the common options, then runs it. Everything a command shares is here.
#include <iostream>
#include <string>
#include <vector>

#include "bus/messages.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/help_texts.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "network/network_line.h"
#include "serial/com_exception.h"
#include "system/message_catalogue.h"
#include "system/program_directory.h"

namespace {

void CheckPositional(const TCommand& command, const TArguments& arguments) {
  const std::vector<std::string>& words = arguments.Positional();
  if (command.fileMissing != nullptr) {
    if (words.size() != 1) throw EUsage(Tr(command.fileMissing));
  } else if (!words.empty()) {
    throw EUsage(Format(Tr("unexpected argument '%s'"), words.front().c_str()));
  }
}

TExitStatus Dispatch(const TCommand& command, TWords words) {
  const std::vector<TOptionSpec> options = OptionsOf(command);
  const TArguments arguments(words, options);
  if (arguments.Has("help")) {
    std::cout << HelpText(command.usage);
    return TExitStatus::Done;
  }
  CheckPositional(command, arguments);
  const TCommon common = ReadCommon(arguments, command.needsPort, command.needsAddress,
                                    TakesOption(command, "rate", TValueKind::Rate));
  return command.run({command, arguments, common});
}

}  // namespace

int RunCli(int argc, char** argv) {
  SetUpConsole();
  SetUpMessageCatalogues(ProgramDirectory());
  BuildComMessageTable();
  RegisterNetworkLines();

  const std::vector<std::string> storage(argv + 1, argv + argc);
  std::vector<std::string_view> words(storage.begin(), storage.end());
  if (words.empty()) {
    std::cerr << OverviewHelp();
    return static_cast<int>(TExitStatus::Usage);
  }
  const std::string_view verb = words.front();
  const TWords rest(words.data() + 1, words.size() - 1);
  if (verb == "-h" || verb == "--help" || verb == "help") {
    std::cout << OverviewHelp();
    return static_cast<int>(TExitStatus::Done);
  }
  if (verb == "--version") {
    std::cout << "tarvi-cli " TARVI_VERSION "\n";
    return static_cast<int>(TExitStatus::Done);
  }
  // Not for operators: the build writes the installed completion with it.
  if (verb == "--bash-completion") {
    std::cout << BashCompletionScript();
    return static_cast<int>(TExitStatus::Done);
  }
  const TCommand* command = FindCommand(verb);
  try {
    if (command == nullptr)
      throw EUsage(Format(Tr("unknown command '%s'"), storage.front().c_str()));
    return static_cast<int>(Dispatch(*command, rest));
  } catch (const EUsage& usage) {
    Complain(usage.what());
    const std::string helpFor =
        std::string(kProgramName) + (command ? " " + std::string(verb) : std::string());
    std::cerr << Format(Tr("Try '%s --help'."), helpFor.c_str()) << '\n';
    return static_cast<int>(TExitStatus::Usage);
  }
}
