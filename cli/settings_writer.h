// Bringing a device to wanted settings: each write confirmed by its echo, in the order power-up
// mode, mode on the "on" command, remember flag, then the address and last the rate (each of
// those two changes where the device is found next); then a read-back of the parameter block at
// the device's new address and rate, which must show every wanted value. Throws TDeviceFault
// (and EComPort from the line).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/device_requests.h"

struct TWantedSettings {
  std::optional<unsigned> powerUp;
  std::optional<unsigned> onCommand;
  std::optional<bool> remember;
  std::optional<std::uint8_t> newAddress;
  std::optional<std::uint8_t> newBaudIndex;

  bool Empty() const { return !powerUp && !onCommand && !remember && !newAddress && !newBaudIndex; }
};

struct TWrite {
  const char* field;  // "power_up", "on_command", "remember", "address", "rate" (as in --json)
  unsigned value;     // the register value written (the baud code for the rate)
};

// The writes that bring `current` to `wanted`; with no current block (nothing known), every
// wanted value is written.
std::vector<TWrite> PlanWrites(const TWantedSettings& wanted, const TParameterBlock* current);

// Carries the writes out at `target` (its address and rate follow the changes), calling
// `written` after each confirmed write, and returns the block read back.
TBlockReading CarryOut(TDeviceLine& line, TTarget& target, const std::vector<TWrite>& writes,
                       const TWantedSettings& wanted,
                       const std::function<void(const TWrite&)>& written);

// The text of a write for people: "power-up mode 3 (light flashing at 2 Hz and sound)".
std::string WriteText(const TWrite& write);
