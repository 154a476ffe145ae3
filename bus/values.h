// The values an operator types, on the command line or in a plan: addresses, rates, modes,
// yes/no, milliseconds. Each parser takes the whole text or nothing; the *Fault functions give
// the message for a refused value. Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A bus address 1..247.
std::optional<std::uint8_t> ParseAddress(std::string_view text);
std::string AddressFault(std::string_view what, std::string_view text);

// A rate of the family in Bd (1200 .. 57600), as its BaudTable index.
std::optional<std::uint8_t> ParseRate(std::string_view text);
std::string RateFault(std::string_view what, std::string_view text);

// A mode the device knows: 0 or 2..10.
std::optional<unsigned> ParseMode(std::string_view text);
std::string ModeFault(std::string_view what, std::string_view text);

// yes/no (also 1/0, true/false, on/off), in any letter case.
std::optional<bool> ParseYesNo(std::string_view text);
std::string YesNoFault(std::string_view what, std::string_view text);

// "2 (steady light and sound)", "1 (not a mode)".
std::string ModeText(unsigned mode);

// A whole number low..high.
std::optional<unsigned> ParseNumber(std::string_view text, unsigned low, unsigned high);
