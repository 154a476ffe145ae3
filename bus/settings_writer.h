// Bringing a device to wanted settings: each write confirmed by its echo, in the order of the
// settings table (the address and the rate last, each followed to where the device answers
// next); then a read-back of the parameter block at the device's new address and rate, which
// must show every wanted value. Throws TDeviceFault (and EComPort from the line).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bus/device_requests.h"
#include "bus/settings.h"

struct TWrite {
  const TSetting* setting;
  unsigned value;  // the register value written (the baud code for the rate)
};

// The writes that bring `current` to `wanted`; with no current block (nothing known), every
// wanted value is written.
std::vector<TWrite> PlanWrites(const TWantedSettings& wanted, const TParameterBlock* current);

// Carries the writes out at `target` (its address and rate follow the changes), calling
// `written` after each confirmed write, and returns the block read back. Each request after a
// move is patient with a device still moving (TTarget::movedAt). An address or rate write whose
// echo does not come is looked for once where it sends the device: found there, the write was
// taken and `warn` says its echo was lost; not found, the fault names both places.
TBlockReading CarryOut(TDeviceLine& line, TTarget& target, const std::vector<TWrite>& writes,
                       const TWantedSettings& wanted,
                       const std::function<void(const TWrite&)>& written,
                       const std::function<void(const std::string&)>& warn);

// The text of a write for people: "power-up mode 3 (light flashing at 2 Hz and sound)".
std::string WriteText(const TWrite& write);
