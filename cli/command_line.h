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

class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TOptionSpec {
  std::string_view longName;  // without "--"
  char shortName;             // 0: none
  bool takesValue;
};

// The options every subcommand that talks to a device understands.
inline constexpr TOptionSpec kPortOption{"port", 'p', true};
inline constexpr TOptionSpec kAddressOption{"address", 'a', true};
inline constexpr TOptionSpec kRateOption{"rate", 'r', true};
inline constexpr TOptionSpec kJsonOption{"json", 0, false};
inline constexpr TOptionSpec kTraceOption{"trace", 0, false};
inline constexpr TOptionSpec kTimeoutOption{"timeout", 0, true};
inline constexpr TOptionSpec kQuietOption{"quiet", 'q', false};
inline constexpr TOptionSpec kGapOption{"gap", 0, true};
inline constexpr TOptionSpec kHelpOption{"help", 'h', false};

class TArguments {
 public:
  // Throws EUsage for an unknown option, a missing value, or a value given to a flag.
  TArguments(std::span<const std::string_view> words, std::span<const TOptionSpec> specs);

  bool Has(std::string_view longName) const;
  std::optional<std::string> Value(std::string_view longName) const;
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  std::map<std::string, std::string, std::less<>> values_;
  std::vector<std::string> positional_;
};

struct TCommon {
  std::string port;
  std::uint8_t address = 247;
  std::uint8_t baudIndex = 3;  // 9600 when -r is not given
  std::optional<std::chrono::milliseconds> timeout;
  std::chrono::milliseconds gap{5};  // the silence that ends a reply shorter than expected
  bool json = false;
  bool trace = false;
  bool quiet = false;
};

// Reads the common options that are in `specs`; -p is required when needPort, -a when
// needAddress. Throws EUsage.
TCommon ReadCommon(const TArguments& arguments, bool needPort, bool needAddress);

// --gap MS, 5 when not given. Throws EUsage.
std::chrono::milliseconds ReadGap(const TArguments& arguments);

// A number of milliseconds 0..3600000 for an option. Throws EUsage.
std::chrono::milliseconds ReadMilliseconds(const TArguments& arguments, std::string_view option,
                                           std::chrono::milliseconds fallback);
