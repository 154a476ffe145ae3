// Sets up the message catalogues of the program (gettext domain "default").
//
// The language is LANG cut at its first '.', or the user's locale when LANG is empty. The
// catalogue is <programDir>/locale/<language>/LC_MESSAGES/default.mo, or the one under the
// two-letter language name when the full name has none. Works without the language's locale
// being installed. Call once at start, before other threads exist (it sets the process locale
// and environment), then BuildComMessageTable().
#pragma once

#include <string>

void SetUpMessageCatalogues(const std::string& programDir);
