#include "serial/message_catalogue.h"

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kDomain = "default";

std::string CutAtFirstDot(std::string name) {
  const std::size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

bool IsPlainC(const char* locale) {
  return locale == nullptr || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0;
}

bool HasCatalogue(const std::string& root, const std::string& language) {
  if (language.empty()) return false;
  const std::string path = root + "/" + language + "/LC_MESSAGES/" + kDomain + ".mo";
  return access(path.c_str(), R_OK) == 0;
}

}  // namespace

void SetUpMessageCatalogues(const std::string& programDir) {
  // Fails (and leaves "C") when the environment names a locale that is not installed.
  std::setlocale(LC_ALL, "");

  std::string language;
  const char* lang = std::getenv("LANG");
  if (lang != nullptr && *lang != '\0') {
    language = CutAtFirstDot(lang);
  } else if (const char* user = std::setlocale(LC_MESSAGES, nullptr); !IsPlainC(user)) {
    language = CutAtFirstDot(user);
  }

  const std::string root = programDir + "/locale";
  bindtextdomain(kDomain, root.c_str());
  // The texts are shown as UTF-8 whatever the character set of the locale in force.
  bind_textdomain_codeset(kDomain, "UTF-8");
  textdomain(kDomain);

  std::string chosen;
  if (HasCatalogue(root, language)) {
    chosen = language;
  } else if (language.size() > 2 && HasCatalogue(root, language.substr(0, 2))) {
    chosen = language.substr(0, 2);
  }
  if (chosen.empty()) return;  // no catalogue: the texts stay as written

  // gettext picks the catalogue by LANGUAGE, which needs no installed locale, but glibc ignores
  // LANGUAGE while LC_MESSAGES is "C"; C.UTF-8 is built into glibc and is not "C" for that test.
  if (IsPlainC(std::setlocale(LC_MESSAGES, nullptr))) std::setlocale(LC_MESSAGES, "C.UTF-8");
  setenv("LANGUAGE", chosen.c_str(), 1);
}
