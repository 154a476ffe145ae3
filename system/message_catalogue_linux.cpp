// The catalogues through glibc's gettext.
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "system/message_catalogue.h"
#include "system/message_catalogue_platform.h"

namespace {

constexpr const char* kDomain = "default";

bool IsPlainC(const char* locale) {
  return locale == nullptr || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0;
}

}  // namespace

namespace catalogue_platform {

void PrepareCatalogues(const std::string& root) {
  // Fails (and leaves "C") when the environment names a locale that is not installed.
  std::setlocale(LC_ALL, "");
  bindtextdomain(kDomain, root.c_str());
  // The texts are shown as UTF-8 whatever the character set of the locale in force.
  bind_textdomain_codeset(kDomain, "UTF-8");
  textdomain(kDomain);
}

std::string UserLanguage() {
  const char* user = std::setlocale(LC_MESSAGES, nullptr);
  return IsPlainC(user) ? std::string() : std::string(user);
}

void UseCatalogue(const std::string&, const std::string& language) {
  // gettext picks the catalogue by LANGUAGE, which needs no installed locale, but glibc ignores
  // LANGUAGE while LC_MESSAGES is "C"; C.UTF-8 is built into glibc and is not "C" for that test.
  if (IsPlainC(std::setlocale(LC_MESSAGES, nullptr))) std::setlocale(LC_MESSAGES, "C.UTF-8");
  setenv("LANGUAGE", language.c_str(), 1);
}

}  // namespace catalogue_platform

std::string Translate(const char* text) {
  return gettext(text);
}
