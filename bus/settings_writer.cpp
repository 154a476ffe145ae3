#include "bus/settings_writer.h"

#include "bus/messages.h"
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

namespace {

// The rate of the target, in Bd.
unsigned RateOf(const TTarget& target) {
  return BaudTable[target.baudIndex];
}

// An address or rate write that got no echo: the device may have taken it all the same (its
// echo lost on a noisy line). Looks for it once where the write sends it; throws a fault that
// names both places when it is not there either.
void LookWhereItWent(TDeviceLine& line, TTarget& target, const TWrite& write,
                     const TDeviceFault& noEcho,
                     const std::function<void(const std::string&)>& warn) {
  TTarget moved = target;
  write.setting->follow(moved, write.value);
  moved.movedAt = std::chrono::steady_clock::now();
  if (line.Rate() != moved.baudIndex) line.SetRate(moved.baudIndex);
  line.Note(Format(Tr("no echo of the write of %s: looking for the device at %u, %u Bd"),
                   WriteText(write).c_str(), unsigned{moved.address}, RateOf(moved)));
  try {
    ReadParameterBlock(line, moved);
  } catch (const TDeviceFault& notThere) {
    if (notThere.Kind != TFaultKind::NoAnswer) throw;
    throw TDeviceFault(
        TFaultKind::NoAnswer,
        Format(Tr("%s to the write of %s, nor from %u at %u Bd, where the write would have moved "
                  "it"),
               noEcho.what(), WriteText(write).c_str(), unsigned{moved.address}, RateOf(moved)));
  }
  if (warn)
    warn(Format(Tr("the echo of the write of %s to %u at %u Bd was lost, but the device answers "
                   "at %u, %u Bd: the change was made"),
                WriteText(write).c_str(), unsigned{target.address}, RateOf(target),
                unsigned{moved.address}, RateOf(moved)));
  moved.movedAt.reset();  // it answered: it has settled
  target = moved;
}

}  // namespace

TBlockReading CarryOut(TDeviceLine& line, TTarget& target, const std::vector<TWrite>& writes,
                       const TWantedSettings& wanted,
                       const std::function<void(const TWrite&)>& written,
                       const std::function<void(const std::string&)>& warn) {
  for (const TWrite& write : writes) {
    try {
      WriteRegister(line, target, static_cast<std::uint16_t>(write.setting->reg),
                    static_cast<std::uint16_t>(write.value));
      if (write.setting->follow) {
        write.setting->follow(target, write.value);
        target.movedAt = std::chrono::steady_clock::now();
      }
    } catch (const TDeviceFault& fault) {
      if (fault.Kind != TFaultKind::NoAnswer || !write.setting->follow) throw;
      LookWhereItWent(line, target, write, fault, warn);
    }
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
