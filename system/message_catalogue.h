// Sets up the message catalogues of the program (domain "default") and translates through them.
//
// The language is LANG cut at its first '.', or the user's locale when LANG is empty (Windows:
// the user's interface language). The catalogue is <programDir>/locale/<language>/LC_MESSAGES/
// default.mo, or the one under the two-letter language name when the full name has none. Works
// without the language's locale being installed. Call once at start, before other threads exist
// (it sets the process locale and environment), then BuildComMessageTable().
//
// Linux translates through glibc's gettext; Windows, whose C runtime has none, reads the .mo file
// itself (mo_catalogue.h).
#pragma once

#include <string>

void SetUpMessageCatalogues(const std::string& programDir);

// The catalogue's text for `text`, or `text` itself when there is no catalogue or no entry.
std::string Translate(const char* text);

// Marks a text that is translated later, where it is used (a table row, a help text): it stays
// the English text here, and the catalogue check finds it (xgettext keyword N_, beside Tr).
#define N_(text) text
