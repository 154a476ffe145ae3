// A small writer of compact JSON: objects and arrays built member by member, strings escaped
// (UTF-8 passes through; quotes, backslashes and control characters are escaped). Enough for the
// documents of --json; any thread, no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TJsonWriter {
 public:
  TJsonWriter& BeginObject();
  TJsonWriter& EndObject();
  TJsonWriter& BeginArray();
  TJsonWriter& EndArray();
  // The key of the next member of the current object.
  TJsonWriter& Key(std::string_view key);

  TJsonWriter& String(std::string_view value);
  TJsonWriter& Number(std::int64_t value);
  TJsonWriter& Number(double value, int decimals);
  TJsonWriter& Bool(bool value);
  TJsonWriter& Null();

  // Key and value in one call.
  template <typename T>
  TJsonWriter& Member(std::string_view key, const T& value) {
    Key(key);
    return Value(value);
  }

  const std::string& Text() const { return text_; }
  // How many objects and arrays are open; CloseTo ends the inner ones until `depth` are left (a
  // key still waiting for its value gets null).
  std::size_t Depth() const { return open_.size(); }
  TJsonWriter& CloseTo(std::size_t depth);

 private:
  TJsonWriter& Value(std::string_view value) { return String(value); }
  TJsonWriter& Value(const std::string& value) { return String(value); }
  TJsonWriter& Value(const char* value) { return value ? String(value) : Null(); }
  TJsonWriter& Value(bool value) { return Bool(value); }
  TJsonWriter& Value(int value) { return Number(std::int64_t{value}); }
  TJsonWriter& Value(unsigned value) { return Number(std::int64_t{value}); }
  // The standard integer types, not the fixed-width names: std::int64_t is long on Linux and
  // long long on Windows, so one overload for each of those would clash on one of them.
  TJsonWriter& Value(long value) { return Number(std::int64_t{value}); }
  TJsonWriter& Value(long long value) { return Number(std::int64_t{value}); }
  TJsonWriter& Value(unsigned long value) { return Number(static_cast<std::int64_t>(value)); }
  TJsonWriter& Value(unsigned long long value) { return Number(static_cast<std::int64_t>(value)); }
  void Separate();

  std::string text_;
  std::string open_;  // '}' or ']' for each open object and array
  bool needComma_ = false;
  bool keyPending_ = false;
};
