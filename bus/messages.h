// Texts for the operator, through the message catalogue of the program (domain "default", the
// same catalogue as the serial port's texts): English as written, Russian when LANG asks for it.
// Any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "system/message_catalogue.h"

// The catalogue's version of an English text.
const char* Tr(const char* text);

// The printf flavour the C runtime's vsnprintf follows, for the compiler's format checks: mingw-w64
// names its C99-conforming one (which C++ programs get) in __MINGW_PRINTF_FORMAT.
#ifdef __MINGW_PRINTF_FORMAT
#define TARVI_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define TARVI_PRINTF_FORMAT printf
#endif

// printf-style formatting into a std::string; the format usually comes from Tr().
std::string Format(const char* format, ...) __attribute__((format(TARVI_PRINTF_FORMAT, 1, 2)));

// The width of a UTF-8 text on a terminal, in characters: its code points (the texts are Latin and
// Cyrillic, one column each), whatever the locale. A byte that is not UTF-8 counts as one.
std::size_t DisplayWidth(std::string_view text);

// The text padded with blanks on the right to `width` characters (DisplayWidth); a longer text
// is left as it is.
std::string PadRight(std::string_view text, std::size_t width);
