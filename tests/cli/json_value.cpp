#include "tests/cli/json_value.h"

#include <cctype>
#include <charconv>
#include <cstdlib>

namespace {

const TJsonValue kNull{};

class TReader {
 public:
  explicit TReader(std::string_view text) : text_(text) {}

  std::optional<TJsonValue> Whole() {
    auto value = Value(0);
    Blanks();
    if (!value || at_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  void Blanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  bool Take(char c) {
    Blanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      const char e = text_[at_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          if (at_ + 4 > text_.size()) return std::nullopt;
          unsigned code = 0;
          const auto [end, error] =
              std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
          if (error != std::errc() || end != text_.data() + at_ + 4) return std::nullopt;
          at_ += 4;
          if (code < 0x80) {
            out += static_cast<char>(code);
          } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
          } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
          }
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::optional<TJsonValue> Value(int depth) {
    if (depth > 64) return std::nullopt;
    Blanks();
    if (at_ >= text_.size()) return std::nullopt;
    TJsonValue value;
    const char c = text_[at_];
    if (c == '{') {
      ++at_;
      value.kind = TJsonValue::TKind::Object;
      if (Take('}')) return value;
      do {
        Blanks();
        auto key = String();
        if (!key || !Take(':')) return std::nullopt;
        auto member = Value(depth + 1);
        if (!member) return std::nullopt;
        value.members.emplace_back(std::move(*key), std::move(*member));
      } while (Take(','));
      if (!Take('}')) return std::nullopt;
      return value;
    }
    if (c == '[') {
      ++at_;
      value.kind = TJsonValue::TKind::Array;
      if (Take(']')) return value;
      do {
        auto item = Value(depth + 1);
        if (!item) return std::nullopt;
        value.items.push_back(std::move(*item));
      } while (Take(','));
      if (!Take(']')) return std::nullopt;
      return value;
    }
    if (c == '"') {
      auto text = String();
      if (!text) return std::nullopt;
      value.kind = TJsonValue::TKind::String;
      value.text = std::move(*text);
      return value;
    }
    if (Word("true") || Word("false")) {
      value.kind = TJsonValue::TKind::Bool;
      value.boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
      return value;
    }
    if (Word("null")) return value;
    // A number: -?digits(.digits)?([eE][+-]?digits)?
    const std::size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    const std::size_t digits = at_;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])))
      ++at_;
    if (at_ == digits) return std::nullopt;
    if (text_[digits] == '0' && at_ - digits > 1) return std::nullopt;  // no leading zeros
    if (at_ < text_.size() && text_[at_] == '.') {
      const std::size_t fraction = ++at_;
      while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])))
        ++at_;
      if (at_ == fraction) return std::nullopt;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      const std::size_t exponent = at_;
      while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])))
        ++at_;
      if (at_ == exponent) return std::nullopt;
    }
    value.kind = TJsonValue::TKind::Number;
    value.number = std::strtod(std::string(text_.substr(start, at_ - start)).c_str(), nullptr);
    return value;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

bool TJsonValue::Has(std::string_view key) const {
  for (const auto& [name, value] : members)
    if (name == key) return true;
  return false;
}

const TJsonValue& TJsonValue::operator[](std::string_view key) const {
  for (const auto& [name, value] : members)
    if (name == key) return value;
  return kNull;
}

const TJsonValue& TJsonValue::operator[](std::size_t index) const {
  return index < items.size() ? items[index] : kNull;
}

std::optional<TJsonValue> ParseJson(std::string_view text) {
  return TReader(text).Whole();
}

std::optional<std::vector<TJsonValue>> ParseJsonLines(std::string_view text) {
  std::vector<TJsonValue> values;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    auto value = ParseJson(line);
    if (!value) return std::nullopt;
    values.push_back(std::move(*value));
  }
  return values;
}
