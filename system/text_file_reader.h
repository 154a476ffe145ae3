// Reading a text file line by line, as the fallback port list comports.txt is read, with the
// runtime's texts for its failures. Any thread; one reader per thread.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

// A failure reading a text file, with the runtime's text for it ("File not found", ...).
class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int errorCode);
  int ErrorCode;  // the errno of the failed call (the C runtime's, on Windows too)
};

// The runtime's text for an errno value: "File not found", "Invalid filename",
// "Too many open files", "File access denied", "Read beyond end of file", "Disk full",
// "Invalid numeric input", else "I/O error <code>".
std::string InOutErrorText(int errorCode);

// A text file read line by line, each line whole (only its line break, LF or CR LF, removed).
// Every failure throws EInOutError.
class TTextFileReader {
 public:
  explicit TTextFileReader(const std::string& path);  // opens for reading
  ~TTextFileReader();
  TTextFileReader(const TTextFileReader&) = delete;
  TTextFileReader& operator=(const TTextFileReader&) = delete;

  bool AtEnd();  // true once no further line can be read
  std::string ReadLine();

 private:
  std::FILE* file_;
};
