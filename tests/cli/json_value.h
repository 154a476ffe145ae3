// A strict JSON reader for the tests of --json: the whole text must be one value (objects,
// arrays, strings with their escapes, numbers, true, false, null), else nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct TJsonValue {
  enum class TKind { Null, Bool, Number, String, Array, Object } kind = TKind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<TJsonValue> items;
  std::vector<std::pair<std::string, TJsonValue>> members;

  bool Has(std::string_view key) const;
  // The member or item; a missing one is a Null value (so chains stay safe).
  const TJsonValue& operator[](std::string_view key) const;
  const TJsonValue& operator[](std::size_t index) const;
  bool IsNull() const { return kind == TKind::Null; }
  long Int() const { return static_cast<long>(number); }
};

// One value filling the text (blanks around it allowed); nothing when it is not valid JSON.
std::optional<TJsonValue> ParseJson(std::string_view text);

// Each non-empty line of the text as one value; nothing when any line is not valid JSON.
std::optional<std::vector<TJsonValue>> ParseJsonLines(std::string_view text);
