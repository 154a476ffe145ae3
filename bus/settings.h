// The settings an operator brings a device to, one row each, in the order they are written:
// the power-up mode, the mode on the "on" command and the remember flag first, then the address
// and last the rate (each of those two moves the device, so it is found next where it went).
// The engine (the writer, the plan parser) and every text and JSON output read this table; a new
// setting is a new row here (and its option in the front end's table of options). Values are held
// as the register value the device stores (the baud code for the rate). Pure; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bus/device_requests.h"

struct TSetting {
  const char* json;    // its field in --json and in a write's "field": "power_up"
  const char* column;  // its column in a plan: "power_up"
  int reg;             // the register it is written to
  // The register value for an operator's text; nothing when the device would not take it.
  std::optional<unsigned> (*parse)(std::string_view text);
  // The message for a refused text; `what` says where it was given ("--power-up", "power_up").
  std::string (*fault)(std::string_view what, std::string_view text);
  // What a parameter block holds for it, as a register value to compare with a wanted one.
  unsigned (*held)(const TParameterBlock& block);
  // A written value for people: "power-up mode 3 (light flashing at 2 Hz and sound)".
  std::string (*text)(unsigned value);
  // How a read-back that differs names it: "the power-up mode" (a catalogue text).
  const char* readBackName;
  // Where the device answers once the value is written (its address or rate follows it); null
  // for a setting that does not move the device.
  void (*follow)(TTarget& target, unsigned value);
};

inline constexpr std::size_t kSettingCount = 5;
extern const std::array<TSetting, kSettingCount> kSettings;

// A wanted register value for each setting; nothing: leave it as it is.
struct TWantedSettings {
  std::array<std::optional<unsigned>, kSettingCount> values;

  bool Empty() const;
  // The wanted value of the setting whose --json name is `json`.
  std::optional<unsigned> Of(std::string_view json) const;
  // True when a wanted setting moves the device (a new address or rate).
  bool Moves() const;
  // Where the device answers once every wanted value is in.
  TTarget Moved(TTarget target) const;
};

// "a, b, c, d or e": one name for each setting, for the messages that list the settings.
std::string ListedNames(const std::array<std::string, kSettingCount>& names);
// The plan's columns of the settings, listed so.
std::string SettingColumns();
