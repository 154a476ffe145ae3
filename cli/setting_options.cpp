#include "cli/setting_options.h"

constexpr std::array<TOptionSpec, kSettingCount> kSettingOptions = {{
    {"power-up", 0, true, TValueKind::Mode},
    {"on-command", 0, true, TValueKind::Mode},
    {"remember", 0, true, TValueKind::YesNo},
    {"new-address", 0, true, TValueKind::Free},
    {"new-rate", 0, true, TValueKind::Rate},
}};

std::string SettingOptionNames() {
  std::array<std::string, kSettingCount> names;
  for (std::size_t i = 0; i < kSettingCount; ++i)
    names[i] = "--" + std::string(kSettingOptions[i].longName);
  return ListedNames(names);
}
