#include "cli/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

void TJsonWriter::Separate() {
  if (needComma_) text_ += ',';
  needComma_ = false;
  keyPending_ = false;
}

TJsonWriter& TJsonWriter::BeginObject() {
  Separate();
  text_ += '{';
  open_ += '}';
  return *this;
}

TJsonWriter& TJsonWriter::EndObject() {
  text_ += '}';
  if (!open_.empty()) open_.pop_back();
  needComma_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::BeginArray() {
  Separate();
  text_ += '[';
  open_ += ']';
  return *this;
}

TJsonWriter& TJsonWriter::EndArray() {
  text_ += ']';
  if (!open_.empty()) open_.pop_back();
  needComma_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::CloseTo(std::size_t depth) {
  if (open_.size() > depth && keyPending_) Null();
  while (open_.size() > depth) {
    text_ += open_.back();
    open_.pop_back();
    needComma_ = true;
  }
  return *this;
}

TJsonWriter& TJsonWriter::Key(std::string_view key) {
  String(key);
  text_ += ':';
  needComma_ = false;
  keyPending_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::String(std::string_view value) {
  Separate();
  text_ += '"';
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        text_ += "\\\"";
        break;
      case '\\':
        text_ += "\\\\";
        break;
      case '\n':
        text_ += "\\n";
        break;
      case '\r':
        text_ += "\\r";
        break;
      case '\t':
        text_ += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          text_ += escaped;
        } else {
          text_ += c;
        }
    }
  }
  text_ += '"';
  needComma_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::Number(std::int64_t value) {
  Separate();
  text_ += std::to_string(value);
  needComma_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::Number(double value, int decimals) {
  if (!std::isfinite(value)) return Null();
  Separate();
  // to_chars, unlike printf, ignores the locale: a Russian locale would write a decimal comma.
  char digits[64];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
  text_.append(digits, result.ptr);
  needComma_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::Bool(bool value) {
  Separate();
  text_ += value ? "true" : "false";
  needComma_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::Null() {
  Separate();
  text_ += "null";
  needComma_ = true;
  return *this;
}
