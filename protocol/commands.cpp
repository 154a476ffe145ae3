#include "protocol/commands.h"

#include <cstdint>

#include "protocol/console_link.h"
#include "protocol/exchange.h"
#include "protocol/link_state.h"

namespace {

enum class Guard { SearchOnly, SearchAndBusy };

// True when the command may go out; it then marks the link busy.
bool Begin(Guard guard) {
  if (LinkState.SearchState == kSearchRunning) return false;
  if (guard == Guard::SearchAndBusy && LinkState.BusyFlag == 1) return false;
  LinkState.BusyFlag = 1;
  return true;
}

void Write(Guard guard, int reg, int value, RequestKind kind) {
  if (!Begin(guard)) return;
  SendWriteRegister(static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(value),
                    Console().Log());
  LinkState.PendingRequest = kind;
}

}  // namespace

void CommandWriteBaudCode(int selectedIndex) {
  Write(Guard::SearchOnly, kRegisterBaudCode, selectedIndex + 1, rkBaudChange);
}

void CommandWriteAddress(int addressField, int newAddress) {
  if (!Begin(Guard::SearchOnly)) return;
  // The change goes to the address shown in the address field and asks the device to take the
  // address of the new-address field.
  LinkState.DeviceAddress = static_cast<std::uint8_t>(addressField);
  SendWriteRegister(kRegisterAddress, static_cast<std::uint16_t>(newAddress), Console().Log());
  LinkState.PendingRequest = rkAddressChange;
}

void CommandSwitch(bool on) {
  Write(Guard::SearchOnly, kRegisterOnOff, on ? 1 : 0, rkOnOffOrRemember);
}

void CommandQueryParameters() {
  if (!Begin(Guard::SearchOnly)) return;
  SendReadRegisters(kRegisterId, kParameterBlockRegisters, Console().Log());
  LinkState.PendingRequest = rkParameterQuery;
}

void CommandWriteRemember(bool checked) {
  Write(Guard::SearchAndBusy, kRegisterRemember, checked ? 1 : 0, rkOnOffOrRemember);
}

void CommandWritePowerUpMode(int mode) {
  Write(Guard::SearchAndBusy, kRegisterPowerUpMode, mode, rkPowerUpMode);
}

void CommandWriteOnCommandMode(int mode) {
  Write(Guard::SearchAndBusy, kRegisterOnCommandMode, mode, rkOnCommandMode);
}
