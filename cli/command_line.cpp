#include "cli/command_line.h"

#include "bus/messages.h"
#include "bus/values.h"

TArguments::TArguments(TWords words, std::span<const TOptionSpec> specs) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    const TOptionSpec* spec = nullptr;
    std::optional<std::string_view> inlineValue;
    if (word.starts_with("--") && word.size() > 2) {
      std::string_view name = word.substr(2);
      if (const std::size_t equals = name.find('='); equals != std::string_view::npos) {
        inlineValue = name.substr(equals + 1);
        name = name.substr(0, equals);
      }
      for (const TOptionSpec& s : specs)
        if (s.longName == name) spec = &s;
      if (spec == nullptr)
        throw EUsage(
            Format(Tr("unknown option '--%.*s'"), static_cast<int>(name.size()), name.data()));
    } else if (word.size() >= 2 && word[0] == '-' && word[1] != '-' &&
               !(word[1] >= '0' && word[1] <= '9')) {
      for (const TOptionSpec& s : specs)
        if (s.shortName == word[1]) spec = &s;
      if (spec == nullptr) throw EUsage(Format(Tr("unknown option '-%c'"), word[1]));
      if (word.size() > 2) {
        if (!spec->takesValue) throw EUsage(Format(Tr("option '-%c' takes no value"), word[1]));
        inlineValue = word.substr(2);
      }
    } else {
      positional_.emplace_back(word);
      continue;
    }
    const std::string name(spec->longName);
    if (!spec->takesValue) {
      if (inlineValue) throw EUsage(Format(Tr("option '--%s' takes no value"), name.c_str()));
      values_[name] = "";
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= words.size())
        throw EUsage(Format(Tr("option '--%s' needs a value"), name.c_str()));
      inlineValue = words[++i];
    }
    values_[name] = std::string(*inlineValue);
  }
}

bool TArguments::Has(std::string_view longName) const {
  return values_.find(longName) != values_.end();
}

std::optional<std::string> TArguments::Value(std::string_view longName) const {
  const auto it = values_.find(longName);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::chrono::milliseconds ReadGap(const TArguments& arguments) {
  const std::chrono::milliseconds gap =
      ReadMilliseconds(arguments, "gap", std::chrono::milliseconds(0));
  if (gap.count() < 1 || gap.count() > 1000) throw EUsage(Tr("--gap must be 1..1000 ms"));
  return gap;
}

TCommon ReadCommon(const TArguments& arguments, bool needPort, bool needAddress, bool oneRate) {
  TCommon common;
  if (const auto port = arguments.Value("port")) {
    if (port->empty()) throw EUsage(Tr("option '--port' needs a port name"));
    common.port = *port;
  } else if (needPort) {
    throw EUsage(Tr("which port? give it with -p PORT ('tarvi-cli ports' lists them)"));
  }
  if (const auto address = arguments.Value("address")) {
    const auto value = ParseAddress(*address);
    if (!value) throw EUsage(AddressFault("address", *address));
    common.address = *value;
  } else if (needAddress) {
    throw EUsage(Tr("which device? give its address with -a ADDRESS (1..247)"));
  }
  if (const auto rate = oneRate ? arguments.Value("rate") : std::nullopt) {
    const auto value = ParseRate(*rate);
    if (!value) throw EUsage(RateFault("rate", *rate));
    common.baudIndex = *value;
  }
  if (arguments.Has("timeout")) {
    common.timeout = ReadMilliseconds(arguments, "timeout", std::chrono::milliseconds(0));
    if (common.timeout->count() == 0) throw EUsage(Tr("--timeout must be at least 1 ms"));
  }
  if (arguments.Has("gap")) common.gap = ReadGap(arguments);
  common.json = arguments.Has("json");
  common.trace = arguments.Has("trace");
  common.quiet = arguments.Has("quiet");
  common.echo = arguments.Has("echo");
  common.rs485 = arguments.Has("rs485");
  return common;
}

std::chrono::milliseconds ReadMilliseconds(const TArguments& arguments, std::string_view option,
                                           std::chrono::milliseconds fallback) {
  const auto text = arguments.Value(option);
  if (!text) return fallback;
  const auto value = ParseNumber(*text, 0, 3'600'000);
  if (!value)
    throw EUsage(Format(Tr("--%.*s '%s' is not a number of milliseconds"),
                        static_cast<int>(option.size()), option.data(), text->c_str()));
  return std::chrono::milliseconds(*value);
}
