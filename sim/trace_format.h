// One line of text per bus event, for tarvi-sim --verbose. Pure; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sim/virtual_bus.h"

namespace sim {

// "F7 03 00 00"
std::string HexLine(std::span<const std::uint8_t> bytes);

// "[   1.234567] request F7 03 00 00 00 07 10 9E (9600 Bd)", seconds counted from origin.
std::string FormatTrace(const TTraceEvent& event, Clock::time_point origin);

}  // namespace sim
