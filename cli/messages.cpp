#include "cli/messages.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "serial/message_catalogue.h"

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
