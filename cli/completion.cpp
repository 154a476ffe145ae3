// The bash completion of tarvi-cli, written from the command table: the commands, each
// command's options, and what each option's value can be. The build runs
// `tarvi-cli --bash-completion` and installs its output, so the completion cannot drift from
// the commands.
#include <string>
#include <vector>

#include "cli/commands.h"
#include "protocol/baud_rates.h"
#include "protocol/device_modes.h"

namespace {

constexpr const char* kHead =
    R"(# bash completion for tarvi-cli (written by tarvi-cli --bash-completion from its commands)
_tarvi_cli_ports() {
  local ports=$(compgen -G '/dev/ttyUSB*'; compgen -G '/dev/ttyACM*'; compgen -G '/dev/ttyS*';
                compgen -G '/dev/serial/by-id/*')
  # Lines through a serial device server: the two schemes, the host and port typed by hand.
  COMPREPLY=($(compgen -W "$ports rfc2217:// tcp://" -- "$cur"))
  compopt -o filenames
  COMPREPLY+=($(compgen -f -- "$cur"))
}

_tarvi_cli() {
  local cur prev words cword
  if declare -F _init_completion >/dev/null; then
    _init_completion || return
  else  # without the bash-completion package
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  fi

)";

constexpr const char* kTail = R"(  if [[ $cur == -* || -z $takes_file ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif declare -F _filedir >/dev/null; then
    _filedir csv
  else
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -X '!*.csv' -- "$cur") $(compgen -d -- "$cur"))
  fi
} &&
  complete -F _tarvi_cli tarvi-cli
)";

std::string Join(const std::vector<std::string>& words, const char* between) {
  std::string text;
  for (const std::string& word : words)
    text += (text.empty() ? "" : between) + word;
  return text;
}

// What completes the value of an option of this kind.
std::string ValueReply(TValueKind kind) {
  switch (kind) {
    case TValueKind::Port:
      return "_tarvi_cli_ports";
    case TValueKind::Rate:
      return R"(COMPREPLY=($(compgen -W "$rates" -- "$cur")))";
    case TValueKind::Rates:
      return R"(COMPREPLY=($(compgen -W "$rates all" -- "$cur")))";
    case TValueKind::Mode:
      return R"(COMPREPLY=($(compgen -W "$modes" -- "$cur")))";
    case TValueKind::YesNo:
      return R"(COMPREPLY=($(compgen -W "yes no" -- "$cur")))";
    case TValueKind::Free:
    case TValueKind::None:
      break;
  }
  return ":";  // a number or a name: nothing to offer
}

// One arm of the case over the command: its options, whether it takes a file, and what the
// value after each option that takes one can be.
std::string CommandArm(const TCommand& command) {
  std::vector<std::string> names;
  std::string values;
  for (const TOptionSpec& spec : OptionsOf(command)) {
    names.push_back("--" + std::string(spec.longName));
    if (!spec.takesValue) continue;
    std::string pattern = "--" + std::string(spec.longName);
    if (spec.shortName != 0) pattern = std::string("-") + spec.shortName + " | " + pattern;
    values += "        " + pattern + ")\n          " + ValueReply(spec.value) +
              "\n          return\n          ;;\n";
  }
  std::string arm = "    " + std::string(command.name) + ")\n";
  arm += "      options=\"" + Join(names, " ") + "\"\n";
  if (command.fileMissing != nullptr) arm += "      takes_file=yes\n";
  arm += "      case $prev in\n" + values + "      esac\n      ;;\n";
  return arm;
}

}  // namespace

std::string BashCompletionScript() {
  std::vector<std::string> rates;
  for (const std::uint32_t rate : BaudTable)
    rates.push_back(std::to_string(rate));
  std::vector<std::string> modes;
  for (const TModeFacts& mode : kModes)
    modes.push_back(std::to_string(mode.value));
  std::vector<std::string> commands;
  for (const TCommand& command : Commands())
    commands.push_back(std::string(command.name));

  std::string script = kHead;
  script += "  local rates=\"" + Join(rates, " ") + "\"\n";
  script += "  local modes=\"" + Join(modes, " ") + "\"\n\n";
  script += "  if [[ $cword -eq 1 ]]; then\n";
  script += "    COMPREPLY=($(compgen -W \"" + Join(commands, " ") +
            " --help --version\" -- \"$cur\"))\n    return\n  fi\n\n";
  script += "  local options= takes_file=\n  case ${words[1]} in\n";
  for (const TCommand& command : Commands())
    script += CommandArm(command);
  script += "  esac\n";
  return script + kTail;
}
