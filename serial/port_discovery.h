// The serial ports present on this machine, and the fallback list file.
//
// Linux (port_discovery_linux.cpp): the system list comes from sysfs: every entry of
// <root>/class/tty that has a `device` link is a port backed by hardware; a ttyS* whose `type`
// reads 0 has no UART behind it and is left out. Nothing is opened to find out (opening a port
// toggles its modem lines). The root is $SYSFS_PATH, else /sys, so tests and the demo can point
// the list at a folder of their own.
//
// Windows (port_discovery_win32.cpp): the text values of the key HARDWARE\DEVICEMAP\SERIALCOMM
// under HKEY_LOCAL_MACHINE, opened (never created) for reading; a value whose data is not text
// throws std::runtime_error, which reaches the program's error report.
#pragma once

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Port names (ttyS0, ttyUSB0 / COM1, COM3) in natural order; std::nullopt when the list cannot
// be read at all ("unavailable"), an empty list when it can be read and holds no port. `source`
// is the sysfs root (Linux) or the key under HKEY_LOCAL_MACHINE (Windows).
std::optional<std::vector<std::string>> ReadSystemPortList();
std::optional<std::vector<std::string>> ReadSystemPortList(const std::string& source);

// Orders names with their digit runs compared as numbers: ttyS2 before ttyS10, COM9 before COM10.
bool NaturalLess(const std::string& a, const std::string& b);

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
