// The platform-neutral part of port discovery: natural order and the fallback list file.
#include "serial/port_discovery.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (digitA && digitB) {
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
        ++endA;
      while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
        ++endB;
      // Compare the runs as numbers without converting: strip leading zeros, then length, then
      // digits.
      std::size_t startA = i;
      std::size_t startB = j;
      while (startA + 1 < endA && a[startA] == '0')
        ++startA;
      while (startB + 1 < endB && b[startB] == '0')
        ++startB;
      const std::size_t lengthA = endA - startA;
      const std::size_t lengthB = endB - startB;
      if (lengthA != lengthB) return lengthA < lengthB;
      const int order = a.compare(startA, lengthA, b, startB, lengthB);
      if (order != 0) return order < 0;
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}

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
