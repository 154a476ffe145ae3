#include "bus/settings.h"

#include "bus/messages.h"
#include "bus/values.h"
#include "protocol/baud_rates.h"
#include "protocol/registers.h"

namespace {

std::optional<unsigned> ParseModeValue(std::string_view text) {
  return ParseMode(text);
}

std::optional<unsigned> ParseRememberValue(std::string_view text) {
  const std::optional<bool> value = ParseYesNo(text);
  if (!value) return std::nullopt;
  return *value ? 1u : 0u;
}

std::optional<unsigned> ParseAddressValue(std::string_view text) {
  const std::optional<std::uint8_t> value = ParseAddress(text);
  if (!value) return std::nullopt;
  return unsigned{*value};
}

std::optional<unsigned> ParseRateValue(std::string_view text) {
  const std::optional<std::uint8_t> index = ParseRate(text);
  if (!index) return std::nullopt;
  return BaudCodeOfIndex(*index);
}

unsigned HeldPowerUp(const TParameterBlock& block) {
  return block.powerUp;
}
unsigned HeldOnCommand(const TParameterBlock& block) {
  return block.onCommand;
}
unsigned HeldRemember(const TParameterBlock& block) {
  return block.remember != 0 ? 1u : 0u;  // the device takes any value but 0 as yes
}
unsigned HeldAddress(const TParameterBlock& block) {
  return block.address;
}
unsigned HeldBaudCode(const TParameterBlock& block) {
  return block.baudCode;
}

std::string PowerUpText(unsigned value) {
  return Format(Tr("power-up mode %s"), ModeText(value).c_str());
}
std::string OnCommandText(unsigned value) {
  return Format(Tr("on-command mode %s"), ModeText(value).c_str());
}
std::string RememberText(unsigned value) {
  return Format(Tr("remember %s"), value != 0 ? Tr("yes") : Tr("no"));
}
std::string AddressText(unsigned value) {
  return Format(Tr("address %u"), value);
}
std::string RateText(unsigned value) {
  return Format(Tr("rate %s Bd"), BaudText(BaudIndexOfCode(value).value_or(kDefaultBaudIndex)));
}

// The device takes a new address or rate once its echo has left the line.
void FollowAddress(TTarget& target, unsigned value) {
  target.address = static_cast<std::uint8_t>(value);
}
void FollowRate(TTarget& target, unsigned value) {
  target.baudIndex = BaudIndexOfCode(value).value_or(target.baudIndex);
}

}  // namespace

constexpr std::array<TSetting, kSettingCount> kSettings = {{
    {.json = "power_up",
     .column = "power_up",
     .reg = kRegisterPowerUpMode,
     .parse = ParseModeValue,
     .fault = ModeFault,
     .held = HeldPowerUp,
     .text = PowerUpText,
     .readBackName = N_("the power-up mode"),
     .follow = nullptr},
    {.json = "on_command",
     .column = "on_command",
     .reg = kRegisterOnCommandMode,
     .parse = ParseModeValue,
     .fault = ModeFault,
     .held = HeldOnCommand,
     .text = OnCommandText,
     .readBackName = N_("the on-command mode"),
     .follow = nullptr},
    {.json = "remember",
     .column = "remember",
     .reg = kRegisterRemember,
     .parse = ParseRememberValue,
     .fault = YesNoFault,
     .held = HeldRemember,
     .text = RememberText,
     .readBackName = N_("the remember flag"),
     .follow = nullptr},
    {.json = "address",
     .column = "new_address",
     .reg = kRegisterAddress,
     .parse = ParseAddressValue,
     .fault = AddressFault,
     .held = HeldAddress,
     .text = AddressText,
     .readBackName = N_("the address"),
     .follow = FollowAddress},
    {.json = "rate",
     .column = "new_rate",
     .reg = kRegisterBaudCode,
     .parse = ParseRateValue,
     .fault = RateFault,
     .held = HeldBaudCode,
     .text = RateText,
     .readBackName = N_("the baud code"),
     .follow = FollowRate},
}};

bool TWantedSettings::Empty() const {
  for (const auto& value : values)
    if (value) return false;
  return true;
}

std::optional<unsigned> TWantedSettings::Of(std::string_view json) const {
  for (std::size_t i = 0; i < kSettingCount; ++i)
    if (kSettings[i].json == json) return values[i];
  return std::nullopt;
}

bool TWantedSettings::Moves() const {
  for (std::size_t i = 0; i < kSettingCount; ++i)
    if (values[i] && kSettings[i].follow) return true;
  return false;
}

TTarget TWantedSettings::Moved(TTarget target) const {
  for (std::size_t i = 0; i < kSettingCount; ++i)
    if (values[i] && kSettings[i].follow) kSettings[i].follow(target, *values[i]);
  return target;
}

std::string ListedNames(const std::array<std::string, kSettingCount>& names) {
  std::string listed;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (i == 0) {
      listed = names[i];
    } else if (i + 1 < kSettingCount) {
      listed += ", " + names[i];
    } else {
      listed = Format(Tr("%s or %s"), listed.c_str(), names[i].c_str());
    }
  }
  return listed;
}

std::string SettingColumns() {
  std::array<std::string, kSettingCount> columns;
  for (std::size_t i = 0; i < kSettingCount; ++i)
    columns[i] = kSettings[i].column;
  return ListedNames(columns);
}
