#include "serial/device_manager_ports_win32.h"

#include <windows.h>
// clang-format off: setupapi.h needs windows.h first
#include <cfgmgr32.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

// The device setup class "Ports (COM & LPT)" ({4d36e978-e325-11ce-bfc1-08002be10318}).
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// How far up from the port's device to look for the USB device it belongs to: an FTDI port
// hangs below its bus driver's device, which hangs below the USB device; a composite device's
// interface sits one level lower still.
constexpr int kLevelsUp = 4;

// The four hex digits after `key` ("VID_", "PID_"), empty when they are not there.
std::string HexAfter(const std::string& upperText, const char* key) {
  const std::size_t at = upperText.find(key);
  if (at == std::string::npos) return {};
  const std::string digits = upperText.substr(at + 4, 4);
  if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(),
                                         [](unsigned char c) { return std::isxdigit(c) != 0; })) {
    return {};
  }
  std::string lower = digits;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  std::vector<char> buffer(512);
  DWORD type = 0;
  DWORD needed = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()),
                                         static_cast<DWORD>(buffer.size()), &needed)) {
    return {};
  }
  if (type != REG_SZ) return {};
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

// The port name the device's own registry key holds ("COM5"), empty for a printer port or
// when there is none.
std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  char name[256] = {};
  DWORD size = sizeof name - 1;
  DWORD type = 0;
  const LONG status =
      RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return {};
  return std::string(name, strnlen(name, sizeof name));
}

// The FTDI driver's latency timer of the port (the LatencyTimer value of the device's "Device
// Parameters" key, in milliseconds); none for other drivers.
std::optional<int> LatencyTimerOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return std::nullopt;
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  const LONG status =
      RegQueryValueExA(key, "LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value || value > 255)
    return std::nullopt;
  return static_cast<int>(value);
}

std::string InstanceIdOf(DEVINST instance) {
  char id[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_IDA(instance, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
  return id;
}

// The USB ids from the port's device or the first device above it that has them; the serial
// number from the first of them that carries a real one.
void ReadUsbIds(DEVINST instance, TPortDetails& details) {
  for (int level = 0; level < kLevelsUp; ++level) {
    TPortDetails found;
    if (ParseUsbInstanceId(InstanceIdOf(instance), found)) {
      if (details.usbVendorId.empty()) {
        details.usbVendorId = found.usbVendorId;
        details.usbProductId = found.usbProductId;
      }
      if (!found.serialNumber.empty()) {
        details.serialNumber = found.serialNumber;
        return;
      }
    }
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, instance, 0) != CR_SUCCESS) return;
    instance = parent;
  }
}

}  // namespace

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

bool ParseUsbInstanceId(const std::string& instanceId, TPortDetails& details) {
  const std::string upper = UpperCase(instanceId);
  // USB\VID_... for the device and its interfaces; bus drivers of adapters write their own
  // enumerator with the same ids (FTDIBUS\VID_0403+PID_6001+A50285BIA\0000), whose serial
  // number carries the port letter: only USB\ ids give the serial number.
  const std::string vendor = HexAfter(upper, "VID_");
  const std::string product = HexAfter(upper, "PID_");
  if (vendor.empty() || product.empty()) return false;
  details.usbVendorId = vendor;
  details.usbProductId = product;
  details.serialNumber.clear();
  if (upper.rfind("USB\\", 0) != 0) return true;
  const std::size_t first = instanceId.find('\\');
  const std::size_t second = instanceId.find('\\', first + 1);
  if (second == std::string::npos) return true;
  const std::string hardware = upper.substr(first + 1, second - first - 1);
  const std::string serial = instanceId.substr(second + 1);
  // An interface of a composite device (&MI_nn), or an id that Windows made up ('&'), is no
  // serial number of the adapter.
  if (hardware.find("&MI_") == std::string::npos && !serial.empty() &&
      serial.find('&') == std::string::npos) {
    details.serialNumber = serial;
  }
  return true;
}

std::map<std::string, TPortDetails> ReadDeviceManagerPorts() {
  std::map<std::string, TPortDetails> ports;
  HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    const std::string name = PortNameOf(set, device);
    if (name.empty()) continue;
    TPortDetails details;
    details.driver = RegistryProperty(set, device, SPDRP_SERVICE);
    details.manufacturer = RegistryProperty(set, device, SPDRP_MFG);
    details.product = RegistryProperty(set, device, SPDRP_FRIENDLYNAME);
    ReadUsbIds(device.DevInst, details);
    details.latencyMs = LatencyTimerOf(set, device);
    ports[UpperCase(name)] = std::move(details);
  }
  SetupDiDestroyDeviceInfoList(set);
  return ports;
}
