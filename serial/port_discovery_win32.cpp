#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "serial/port_discovery.h"

namespace {

constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

class KeyHandle {
 public:
  explicit KeyHandle(HKEY key) : key_(key) {}
  ~KeyHandle() { RegCloseKey(key_); }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

}  // namespace

std::optional<std::vector<std::string>> ReadSystemPortList() {
  return ReadSystemPortList(kSerialCommKey);
}

std::optional<std::vector<std::string>> ReadSystemPortList(const std::string& source) {
  // Read access only: nothing here writes, and an ordinary user may not write under
  // HKEY_LOCAL_MACHINE\HARDWARE, so asking for more would make the list look unavailable.
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, source.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const KeyHandle key(opened);
  std::vector<std::string> names;
  std::vector<char> valueName(16384);  // the longest value name the registry allows
  std::vector<BYTE> data(256);
  for (DWORD index = 0;;) {
    DWORD nameLength = static_cast<DWORD>(valueName.size());
    DWORD type = 0;
    DWORD dataLength = static_cast<DWORD>(data.size());
    const LONG status = RegEnumValueA(key.get(), index, valueName.data(), &nameLength, nullptr,
                                      &type, data.data(), &dataLength);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_MORE_DATA) {
      data.resize(std::max<std::size_t>(data.size() * 2, dataLength));
      continue;  // the same value again with room for its data
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      throw std::runtime_error("Invalid data type for '" +
                               std::string(valueName.data(), nameLength) + "'");
    }
    // The stored text may or may not end in its terminating zero.
    std::string name(reinterpret_cast<const char*>(data.data()), dataLength);
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
    names.push_back(name);
    ++index;
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

// Binary mode: the reader removes the line breaks itself (LF or CR LF), and text mode would
// end the file at a Ctrl-Z.
TTextFileReader::TTextFileReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
  if (file_ == nullptr) throw EInOutError(errno);
}
