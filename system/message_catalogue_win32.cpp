// The catalogues on Windows: the C runtime has no gettext, so the .mo file is read here.
#include <windows.h>

#include "system/message_catalogue.h"
#include "system/message_catalogue_platform.h"
#include "system/mo_catalogue.h"

namespace {

// Loaded once at start, before other threads exist; only read afterwards.
TMoCatalogue& Catalogue() {
  static TMoCatalogue catalogue;
  return catalogue;
}

}  // namespace

namespace catalogue_platform {

void PrepareCatalogues(const std::string&) {
  Catalogue().Clear();
}

std::string UserLanguage() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) return {};
  // "ru-RU" -> "ru_RU", the form the catalogue folders are named in; locale names are ASCII.
  std::string language;
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c > 0x7F) return {};
    language.push_back(*c == L'-' ? '_' : static_cast<char>(*c));
  }
  return language;
}

void UseCatalogue(const std::string& root, const std::string& language) {
  Catalogue().Load(CataloguePath(root, language));
}

}  // namespace catalogue_platform

std::string Translate(const char* text) {
  const std::string* translated = Catalogue().Find(text);
  return translated != nullptr ? *translated : std::string(text);
}
