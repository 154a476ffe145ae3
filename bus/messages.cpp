#include "bus/messages.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "system/message_catalogue.h"

const char* Tr(const char* text) {
  // Each text is a literal of the program, so its address names it; the translation is looked up
  // once and kept, which gives the caller a pointer that lives as long as the program.
  static std::mutex mutex;
  static std::unordered_map<const char*, std::string> translations;
  std::lock_guard lock(mutex);
  auto [entry, added] = translations.try_emplace(text);
  if (added) entry->second = Translate(text);
  return entry->second.c_str();
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), static_cast<std::size_t>(length));
  }
  va_end(args);
  return text;
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  return width;
}

std::string PadRight(std::string_view text, std::size_t width) {
  std::string padded(text);
  const std::size_t have = DisplayWidth(text);
  if (have < width) padded.append(width - have, ' ');
  return padded;
}
