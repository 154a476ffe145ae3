#include "cli/settings_writer.h"

#include "cli/block_text.h"
#include "cli/messages.h"
#include "protocol/baud_rates.h"
#include "protocol/registers.h"

namespace {

std::uint16_t RegisterOf(const TWrite& write) {
  const std::string field = write.field;
  if (field == "power_up") return kRegisterPowerUpMode;
  if (field == "on_command") return kRegisterOnCommandMode;
  if (field == "remember") return kRegisterRemember;
  if (field == "address") return kRegisterAddress;
  return kRegisterBaudCode;
}

void Expect(const TTarget& target, const char* what, unsigned got, unsigned wanted) {
  if (got == wanted) return;
  throw TDeviceFault(
      TFaultKind::WrongReply,
      Format(Tr("device %u at %u Bd did not take the setting: %s reads %u instead of %u"),
             unsigned{target.address}, unsigned{BaudTable[target.baudIndex]}, what, got, wanted));
}

}  // namespace

std::vector<TWrite> PlanWrites(const TWantedSettings& wanted, const TParameterBlock* current) {
  std::vector<TWrite> writes;
  if (wanted.powerUp && (!current || current->powerUp != *wanted.powerUp))
    writes.push_back({"power_up", *wanted.powerUp});
  if (wanted.onCommand && (!current || current->onCommand != *wanted.onCommand))
    writes.push_back({"on_command", *wanted.onCommand});
  if (wanted.remember && (!current || (current->remember != 0) != *wanted.remember))
    writes.push_back({"remember", *wanted.remember ? 1u : 0u});
  if (wanted.newAddress && (!current || current->address != *wanted.newAddress))
    writes.push_back({"address", *wanted.newAddress});
  if (wanted.newBaudIndex && (!current || current->baudCode != *wanted.newBaudIndex + 1u))
    writes.push_back({"rate", *wanted.newBaudIndex + 1u});
  return writes;
}

TBlockReading CarryOut(TDeviceLine& line, TTarget& target, const std::vector<TWrite>& writes,
                       const TWantedSettings& wanted,
                       const std::function<void(const TWrite&)>& written) {
  for (const TWrite& write : writes) {
    WriteRegister(line, target, RegisterOf(write), static_cast<std::uint16_t>(write.value));
    // The device takes a new address or rate once its echo has left the line.
    const std::string field = write.field;
    if (field == "address") target.address = static_cast<std::uint8_t>(write.value);
    if (field == "rate") {
      target.baudIndex = static_cast<std::uint8_t>(write.value - 1);
      line.SetRate(target.baudIndex);
    }
    if (written) written(write);
  }
  const TBlockReading reading = ReadParameterBlock(line, target);
  const TParameterBlock& block = reading.block;
  if (wanted.powerUp) Expect(target, Tr("the power-up mode"), block.powerUp, *wanted.powerUp);
  if (wanted.onCommand)
    Expect(target, Tr("the on-command mode"), block.onCommand, *wanted.onCommand);
  if (wanted.remember)
    Expect(target, Tr("the remember flag"), block.remember != 0 ? 1 : 0, *wanted.remember ? 1 : 0);
  if (wanted.newAddress) Expect(target, Tr("the address"), block.address, *wanted.newAddress);
  if (wanted.newBaudIndex)
    Expect(target, Tr("the baud code"), block.baudCode, *wanted.newBaudIndex + 1u);
  return reading;
}

std::string WriteText(const TWrite& write) {
  const std::string field = write.field;
  if (field == "power_up") return Format(Tr("power-up mode %s"), ModeText(write.value).c_str());
  if (field == "on_command") return Format(Tr("on-command mode %s"), ModeText(write.value).c_str());
  if (field == "remember")
    return Format(Tr("remember %s"), write.value != 0 ? Tr("yes") : Tr("no"));
  if (field == "address") return Format(Tr("address %u"), write.value);
  return Format(Tr("rate %s Bd"), BaudText(static_cast<std::uint8_t>(write.value - 1)));
}
