// set's options, one for each row of the settings table (bus/settings.h) and in its order: the
// option's name and what it takes, for the parser and the completion.
#pragma once

#include <array>
#include <string>

#include "bus/settings.h"
#include "cli/command_line.h"

extern const std::array<TOptionSpec, kSettingCount> kSettingOptions;

// "--power-up, --on-command, --remember, --new-address or --new-rate".
std::string SettingOptionNames();
