#include "cli/block_text.h"
#include "bus/values.h"

#include <algorithm>

#include "bus/messages.h"
#include "protocol/baud_rates.h"
#include "protocol/device_models.h"
#include "protocol/device_modes.h"

namespace {

std::string Mark(const std::vector<std::string>& changed, const char* field) {
  return std::find(changed.begin(), changed.end(), field) != changed.end() ? "*" : "";
}

std::string RateText(unsigned baudCode) {
  if (const auto index = BaudIndexOfCode(baudCode))
    return Format(Tr("%s Bd (code %u)"), BaudText(*index), baudCode);
  return Format(Tr("unknown (code %u)"), baudCode);
}

// Pads by characters, not bytes, so that translated labels line up too.
std::string Labelled(const char* label, const std::string& value) {
  std::string line = label;
  std::size_t characters = 0;
  for (const char c : line)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  line.append(characters < 18 ? 18 - characters : 1, ' ');
  return line + value;
}

}  // namespace

std::vector<std::string> BlockLines(const TParameterBlock& block) {
  const char* model = ModelName(block.id);
  return {
      Labelled(Tr("model"), Format("%s (id %u)", model ? model : "?", block.id)),
      Labelled(Tr("address"), std::to_string(block.address)),
      Labelled(Tr("rate"), RateText(block.baudCode)),
      Labelled(Tr("mode now"), ModeText(block.mode)),
      Labelled(Tr("power-up mode"), ModeText(block.powerUp)),
      Labelled(Tr("on-command mode"), ModeText(block.onCommand)),
      Labelled(Tr("remember"), block.remember != 0 ? Tr("yes") : Tr("no")),
  };
}

std::string BlockSummary(const TParameterBlock& block, const std::vector<std::string>& changed) {
  return Format(Tr("mode %u%s, power-up %u%s, on-command %u%s, remember %s%s"), block.mode,
                Mark(changed, "mode").c_str(), block.powerUp, Mark(changed, "power_up").c_str(),
                block.onCommand, Mark(changed, "on_command").c_str(),
                block.remember != 0 ? Tr("yes") : Tr("no"), Mark(changed, "remember").c_str());
}

std::vector<std::string> ChangedFields(const TParameterBlock& before, const TParameterBlock& now) {
  std::vector<std::string> changed;
  if (before.id != now.id) changed.emplace_back("id");
  if (before.address != now.address) changed.emplace_back("address");
  if (before.baudCode != now.baudCode) changed.emplace_back("baud_code");
  if (before.mode != now.mode) changed.emplace_back("mode");
  if (before.powerUp != now.powerUp) changed.emplace_back("power_up");
  if (before.onCommand != now.onCommand) changed.emplace_back("on_command");
  if ((before.remember != 0) != (now.remember != 0)) changed.emplace_back("remember");
  return changed;
}

void WriteBlockJson(TJsonWriter& json, const TParameterBlock& block) {
  json.BeginObject();
  json.Member("model", ModelName(block.id));
  json.Member("id", block.id);
  json.Member("address", block.address);
  json.Key("rate");
  if (const auto index = BaudIndexOfCode(block.baudCode)) {
    json.Number(std::int64_t{BaudTable[*index]});
  } else {
    json.Null();
  }
  json.Member("baud_code", block.baudCode);
  json.Member("mode", block.mode);
  json.Member("power_up", block.powerUp);
  json.Member("on_command", block.onCommand);
  json.Member("remember", block.remember != 0);
  json.EndObject();
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
