#include <cerrno>
#include <cstdio>

#include "system/text_file_reader.h"

// Opened close-on-exec, so that a program started meanwhile does not inherit it.
TTextFileReader::TTextFileReader(const std::string& path) : file_(std::fopen(path.c_str(), "re")) {
  if (file_ == nullptr) throw EInOutError(errno);
}
