#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <stdexcept>

#include "serial/device_manager_ports_win32.h"
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

// One value of the SERIALCOMM key: its name is the port's kernel device (\Device\Serial0,
// \Device\VCP0), its data the port name (COM1).
struct SerialCommValue {
  std::string device;
  std::string port;
};

std::optional<std::vector<SerialCommValue>> ReadSerialComm(const std::string& source) {
  // Read access only: nothing here writes, and an ordinary user may not write under
  // HKEY_LOCAL_MACHINE\HARDWARE, so asking for more would make the list look unavailable.
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, source.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const KeyHandle key(opened);
  std::vector<SerialCommValue> values;
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
    std::string device(valueName.data(), nameLength);
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      throw std::runtime_error("Invalid data type for '" + device + "'");
    }
    // The stored text may or may not end in its terminating zero.
    std::string name(reinterpret_cast<const char*>(data.data()), dataLength);
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
    values.push_back({std::move(device), std::move(name)});
    ++index;
  }
  std::sort(values.begin(), values.end(), [](const SerialCommValue& a, const SerialCommValue& b) {
    return NaturalLess(a.port, b.port);
  });
  return values;
}

}  // namespace

std::optional<std::vector<std::string>> ReadSystemPortList() {
  return ReadSystemPortList(kSerialCommKey);
}

std::optional<std::vector<std::string>> ReadSystemPortList(const std::string& source) {
  const auto values = ReadSerialComm(source);
  if (!values) return std::nullopt;
  std::vector<std::string> names;
  for (const SerialCommValue& value : *values)
    names.push_back(value.port);
  return names;
}

std::optional<std::vector<TPortDetails>> ReadSystemPortDetails() {
  const auto values = ReadSerialComm(kSerialCommKey);
  if (!values) return std::nullopt;
  const std::map<std::string, TPortDetails> known = ReadDeviceManagerPorts();
  std::vector<TPortDetails> ports;
  for (const SerialCommValue& value : *values) {
    TPortDetails details;
    const auto found = known.find(UpperCase(value.port));
    if (found != known.end()) details = found->second;
    details.name = value.port;
    // Without the device manager's word, the kernel device tells the driver's kind
    // (Serial0, VCP0, Silabser0, USBSER000).
    if (details.driver.empty()) {
      const std::string prefix = "\\Device\\";
      details.driver =
          value.device.rfind(prefix, 0) == 0 ? value.device.substr(prefix.size()) : value.device;
    }
    ports.push_back(std::move(details));
  }
  return ports;
}
