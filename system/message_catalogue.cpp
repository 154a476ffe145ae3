#include "system/message_catalogue.h"

#include <cstdlib>
#include <fstream>

#include "system/message_catalogue_platform.h"

namespace {

std::string CutAtFirstDot(std::string name) {
  const std::size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

bool HasCatalogue(const std::string& root, const std::string& language) {
  if (language.empty()) return false;
  return std::ifstream(catalogue_platform::CataloguePath(root, language)).good();
}

}  // namespace

std::string catalogue_platform::CataloguePath(const std::string& root,
                                              const std::string& language) {
  return root + "/" + language + "/LC_MESSAGES/default.mo";
}

void SetUpMessageCatalogues(const std::string& programDir) {
  const std::string root = programDir + "/locale";
  catalogue_platform::PrepareCatalogues(root);

  std::string language;
  const char* lang = std::getenv("LANG");
  if (lang != nullptr && *lang != '\0') {
    language = CutAtFirstDot(lang);
  } else {
    language = CutAtFirstDot(catalogue_platform::UserLanguage());
  }

  std::string chosen;
  if (HasCatalogue(root, language)) {
    chosen = language;
  } else if (language.size() > 2 && HasCatalogue(root, language.substr(0, 2))) {
    chosen = language.substr(0, 2);
  }
  if (chosen.empty()) return;  // no catalogue: the texts stay as written
  catalogue_platform::UseCatalogue(root, chosen);
}
