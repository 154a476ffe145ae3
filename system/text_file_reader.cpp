// The shared part of the reader; opening the file is each system's (text_file_reader_*.cpp).
#include "system/text_file_reader.h"

#include <cerrno>

EInOutError::EInOutError(int errorCode)
    : std::runtime_error(InOutErrorText(errorCode)), ErrorCode(errorCode) {}

std::string InOutErrorText(int errorCode) {
  switch (errorCode) {
    case ENOENT:
    case ENOTDIR:
      return "File not found";
    case EINVAL:
    case ENAMETOOLONG:
      return "Invalid filename";
    case EMFILE:
    case ENFILE:
      return "Too many open files";
    case EACCES:
    case EPERM:
      return "File access denied";
    case ENOSPC:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(errorCode);
  }
}

TTextFileReader::~TTextFileReader() {
  std::fclose(file_);
}

bool TTextFileReader::AtEnd() {
  const int c = std::fgetc(file_);
  if (c == EOF) {
    if (std::ferror(file_)) throw EInOutError(errno != 0 ? errno : EIO);
    return true;
  }
  std::ungetc(c, file_);
  return false;
}

std::string TTextFileReader::ReadLine() {
  std::string line;
  for (;;) {
    const int c = std::fgetc(file_);
    if (c == EOF) {
      if (std::ferror(file_)) throw EInOutError(errno != 0 ? errno : EIO);
      break;
    }
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}
