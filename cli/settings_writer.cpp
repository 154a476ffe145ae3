#include "cli/settings_writer.h"

#include "cli/json_writer.h"
#include "cli/messages.h"
#include "protocol/baud_rates.h"

std::vector<TWrite> PlanWrites(const TWantedSettings& wanted, const TParameterBlock* current) {
  std::vector<TWrite> writes;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const auto& value = wanted.values[i];
    if (value && (!current || kSettings[i].held(*current) != *value))
      writes.push_back({&kSettings[i], *value});
  }
  return writes;
}

TBlockReading CarryOut(TDeviceLine& line, TTarget& target, const std::vector<TWrite>& writes,
                       const TWantedSettings& wanted,
                       const std::function<void(const TWrite&)>& written) {
  for (const TWrite& write : writes) {
    WriteRegister(line, target, static_cast<std::uint16_t>(write.setting->reg),
                  static_cast<std::uint16_t>(write.value));
    if (write.setting->follow) write.setting->follow(target, write.value);
    if (line.Rate() != target.baudIndex) line.SetRate(target.baudIndex);
    if (written) written(write);
  }
  const TBlockReading reading = ReadParameterBlock(line, target);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const auto& value = wanted.values[i];
    const unsigned held = kSettings[i].held(reading.block);
    if (!value || held == *value) continue;
    throw TDeviceFault(
        TFaultKind::WrongReply,
        Format(Tr("device %u at %u Bd did not take the setting: %s reads %u instead of %u"),
               unsigned{target.address}, unsigned{BaudTable[target.baudIndex]},
               Tr(kSettings[i].readBackName), held, *value));
  }
  return reading;
}

std::string WriteText(const TWrite& write) {
  return write.setting->text(write.value);
}

void WriteWritesJson(TJsonWriter& json, const std::vector<TWrite>& writes) {
  json.BeginArray();
  for (const TWrite& write : writes)
    json.BeginObject()
        .Member("field", write.setting->json)
        .Member("value", write.value)
        .EndObject();
  json.EndArray();
}
