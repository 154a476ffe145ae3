#include <cerrno>
#include <cstdio>

#include "system/text_file_reader.h"

// Binary mode: the reader removes the line breaks itself (LF or CR LF), and text mode would
// end the file at a Ctrl-Z.
TTextFileReader::TTextFileReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
  if (file_ == nullptr) throw EInOutError(errno);
}
