// The options of a subcommand: a table of what it accepts, parsed from the words after the verb.
// The common options (-p, -a, -r, --json, --trace, --timeout, -q, -h) are read into TCommon.
// A mistake is an EUsage, which ends the program with status 2 before anything is sent. Pure.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/baud_rates.h"
#include "protocol/registers.h"

class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What an option's value is, for the completion's offers; None: a flag, which takes no value.
enum class TValueKind { None, Free, Port, Rate, Rates, Mode, YesNo };

struct TOptionSpec {
  std::string_view longName;  // without "--"
  char shortName;             // 0: none
  bool takesValue;
  TValueKind value = TValueKind::None;
};

// The options every subcommand that talks to a device understands.
inline constexpr TOptionSpec kPortOption{"port", 'p', true, TValueKind::Port};
inline constexpr TOptionSpec kAddressOption{"address", 'a', true, TValueKind::Free};
inline constexpr TOptionSpec kRateOption{"rate", 'r', true, TValueKind::Rate};
// scan's -r: one rate, a list of rates or "all".
inline constexpr TOptionSpec kRatesOption{"rate", 'r', true, TValueKind::Rates};
inline constexpr TOptionSpec kJsonOption{"json", 0, false};
inline constexpr TOptionSpec kTraceOption{"trace", 0, false};
inline constexpr TOptionSpec kTimeoutOption{"timeout", 0, true, TValueKind::Free};
inline constexpr TOptionSpec kQuietOption{"quiet", 'q', false};
inline constexpr TOptionSpec kGapOption{"gap", 0, true, TValueKind::Free};
// The adapter hears its own request (a two-wire RS-485 adapter): drop that copy before the reply.
inline constexpr TOptionSpec kEchoOption{"echo", 0, false};
// The transceiver's direction follows RTS: RTS on while sending, off after (the driver does it).
inline constexpr TOptionSpec kRs485Option{"rs485", 0, false};
inline constexpr TOptionSpec kHelpOption{"help", 'h', false};

// The words after the verb.
using TWords = std::span<const std::string_view>;

class TArguments {
 public:
  // Throws EUsage for an unknown option, a missing value, or a value given to a flag.
  TArguments(TWords words, std::span<const TOptionSpec> specs);

  bool Has(std::string_view longName) const;
  std::optional<std::string> Value(std::string_view longName) const;
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  std::map<std::string, std::string, std::less<>> values_;
  std::vector<std::string> positional_;
};

struct TCommon {
  std::string port;
  std::uint8_t address = kHighestAddress;
  std::uint8_t baudIndex = kDefaultBaudIndex;  // when -r is not given
  std::optional<std::chrono::milliseconds> timeout;
  // --gap: the silence that ends bytes the framing cannot decide (none: from the adapter)
  std::optional<std::chrono::milliseconds> gap;
  bool json = false;
  bool trace = false;
  bool quiet = false;
  bool echo = false;   // the adapter echoes each request
  bool rs485 = false;  // RTS on while sending (the driver's RS-485 mode)
};

// Reads the common options that were given; -p is required when needPort, -a when needAddress;
// -r is one rate when oneRate (else the command reads it itself). Throws EUsage.
TCommon ReadCommon(const TArguments& arguments, bool needPort, bool needAddress, bool oneRate);

// The value of --gap MS (given). Throws EUsage.
std::chrono::milliseconds ReadGap(const TArguments& arguments);

// A number of milliseconds 0..3600000 for an option. Throws EUsage.
std::chrono::milliseconds ReadMilliseconds(const TArguments& arguments, std::string_view option,
                                           std::chrono::milliseconds fallback);
