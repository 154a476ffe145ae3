// The platform side of the message catalogues, called by SetUpMessageCatalogues in this order:
// PrepareCatalogues, UserLanguage (when LANG is empty), then UseCatalogue with the language whose
// file exists. Implemented in message_catalogue_linux.cpp and message_catalogue_win32.cpp;
// CataloguePath, the same on both, in message_catalogue.cpp.
#pragma once

#include <string>

namespace catalogue_platform {

// <root>/<language>/LC_MESSAGES/default.mo, the file of a language's catalogue.
std::string CataloguePath(const std::string& root, const std::string& language);

// Drops any catalogue in use and readies the lookup under `root` (the "locale" folder).
void PrepareCatalogues(const std::string& root);
// The user's language ("ru_RU"), or empty when it is the plain C locale or unknown.
std::string UserLanguage();
// Translates through <root>/<language>/LC_MESSAGES/default.mo from now on.
void UseCatalogue(const std::string& root, const std::string& language);

}  // namespace catalogue_platform
