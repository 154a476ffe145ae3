#include "bus/values.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "bus/messages.h"
#include "protocol/baud_rates.h"
#include "protocol/device_modes.h"
#include "protocol/registers.h"

std::optional<unsigned> ParseNumber(std::string_view text, unsigned low, unsigned high) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<std::uint8_t> ParseAddress(std::string_view text) {
  const std::optional<unsigned> value = ParseNumber(text, kLowestAddress, kHighestAddress);
  if (!value) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

std::string AddressFault(std::string_view what, std::string_view text) {
  return Format(Tr("%.*s '%.*s' is not an address 1..247"), static_cast<int>(what.size()),
                what.data(), static_cast<int>(text.size()), text.data());
}

std::optional<std::uint8_t> ParseRate(std::string_view text) {
  const std::optional<unsigned> value = ParseNumber(text, 1, 1'000'000);
  if (!value) return std::nullopt;
  return BaudIndexOfRate(*value);
}

std::string RateFault(std::string_view what, std::string_view text) {
  return Format(Tr("%.*s '%.*s' is not one of the rates 1200, 2400, 4800, 9600, 14400, 19200, "
                   "38400, 57600"),
                static_cast<int>(what.size()), what.data(), static_cast<int>(text.size()),
                text.data());
}

std::optional<unsigned> ParseMode(std::string_view text) {
  const std::optional<unsigned> value = ParseNumber(text, 0, 10);
  if (!value || !IsOfferedMode(*value)) return std::nullopt;
  return value;
}

std::string ModeFault(std::string_view what, std::string_view text) {
  return Format(Tr("%.*s '%.*s' is not a mode the device knows (0 and 2..10)"),
                static_cast<int>(what.size()), what.data(), static_cast<int>(text.size()),
                text.data());
}

std::optional<bool> ParseYesNo(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "yes" || lower == "1" || lower == "true" || lower == "on") return true;
  if (lower == "no" || lower == "0" || lower == "false" || lower == "off") return false;
  return std::nullopt;
}

std::string YesNoFault(std::string_view what, std::string_view text) {
  return Format(Tr("%.*s '%.*s' is neither yes nor no"), static_cast<int>(what.size()), what.data(),
                static_cast<int>(text.size()), text.data());
}

std::string ModeText(unsigned mode) {
  if (const TModeFacts* facts = FindMode(mode)) return Format("%u (%s)", mode, Tr(facts->meaning));
  return Format(Tr("%u (not a mode)"), mode);
}
