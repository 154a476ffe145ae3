// Texts for the operator, through the message catalogue of the program (domain "default", the
// same catalogue as the serial port's texts): English as written, Russian when LANG asks for it.
#pragma once

#include <string>

// The catalogue's version of an English text.
const char* Tr(const char* text);

// printf-style formatting into a std::string; the format usually comes from Tr().
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
