#include "tests/support/fake_sysfs.h"

#include <stdlib.h>

#include <fstream>
#include <utility>

namespace fs = std::filesystem;

namespace {
fs::path MakeTempDir(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / prefix).string() + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw fs::filesystem_error("mkdtemp", std::error_code());
  return pattern;
}
}  // namespace

TFakeSysfs::TFakeSysfs() : root_(MakeTempDir("tarvi-sysfs")) {
  fs::create_directories(root_ / "devices" / "platform");
  fs::create_directories(root_ / "class" / "tty");
}

TFakeSysfs::~TFakeSysfs() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void TFakeSysfs::AddPort(const std::string& name, int uartType) {
  const fs::path entry = root_ / "class" / "tty" / name;
  fs::create_directories(entry);
  fs::create_directory_symlink(root_ / "devices" / "platform", entry / "device");
  if (uartType >= 0) std::ofstream(entry / "type") << uartType << "\n";
}

void TFakeSysfs::AddUsbPort(const std::string& name, const TUsbAdapter& adapter) {
  const fs::path usbDevice = root_ / "devices" / "usb1" / ("1-" + name);
  const fs::path portDevice = usbDevice / ("1-" + name + ":1.0") / name;
  fs::create_directories(portDevice);
  std::ofstream(usbDevice / "idVendor") << adapter.vendorId << "\n";
  std::ofstream(usbDevice / "idProduct") << adapter.productId << "\n";
  if (!adapter.serial.empty()) std::ofstream(usbDevice / "serial") << adapter.serial << "\n";
  if (!adapter.manufacturer.empty())
    std::ofstream(usbDevice / "manufacturer") << adapter.manufacturer << "\n";
  if (!adapter.product.empty()) std::ofstream(usbDevice / "product") << adapter.product << "\n";
  const fs::path driver = root_ / "bus" / "usb" / "drivers" / adapter.driver;
  fs::create_directories(driver);
  fs::create_directory_symlink(driver, portDevice / "driver");
  const fs::path entry = root_ / "class" / "tty" / name;
  fs::create_directories(entry);
  fs::create_directory_symlink(portDevice, entry / "device");
}

void TFakeSysfs::AddPortWithDriver(const std::string& name, const std::string& driver, int uartType,
                                   bool serialBase) {
  const fs::path device = root_ / "devices" / "platform" / (name + "-device");
  fs::create_directories(device);
  const fs::path driverDir = root_ / "bus" / "platform" / "drivers" / driver;
  fs::create_directories(driverDir);
  fs::create_directory_symlink(driverDir, device / "driver");
  fs::path ttyDevice = device;
  if (serialBase) {
    const fs::path bus = root_ / "bus" / "serial-base";
    fs::create_directories(bus / "drivers" / "ctrl");
    fs::create_directories(bus / "drivers" / "port");
    const fs::path ctrl = device / (name + ":0");
    ttyDevice = ctrl / (name + ":0.0");
    fs::create_directories(ttyDevice);
    for (const auto& [folder, role] : {std::pair{ctrl, "ctrl"}, std::pair{ttyDevice, "port"}}) {
      fs::create_directory_symlink(bus, folder / "subsystem");
      fs::create_directory_symlink(bus / "drivers" / role, folder / "driver");
    }
  }
  const fs::path entry = root_ / "class" / "tty" / name;
  fs::create_directories(entry);
  fs::create_directory_symlink(ttyDevice, entry / "device");
  if (uartType >= 0) std::ofstream(entry / "type") << uartType << "\n";
}

void TFakeSysfs::AddByIdLink(const std::string& linkName, const std::string& port) {
  const fs::path dir = root_ / "dev" / "serial" / "by-id";
  fs::create_directories(dir);
  fs::create_symlink(fs::path("../..") / port, dir / linkName);
}

void TFakeSysfs::SetLatencyTimer(const std::string& name, const std::string& text) {
  const fs::path dir = root_ / "bus" / "usb-serial" / "devices" / name;
  fs::create_directories(dir);
  std::ofstream(dir / "latency_timer") << text << '\n';
}

void TFakeSysfs::AddVirtualTerminal(const std::string& name) {
  fs::create_directories(root_ / "class" / "tty" / name);
}

void TFakeSysfs::RemovePort(const std::string& name) {
  fs::remove_all(root_ / "class" / "tty" / name);
}

void TFakeSysfs::ClearPorts() {
  fs::remove_all(root_ / "class");
  fs::create_directories(root_ / "class" / "tty");
}

void TFakeSysfs::MakeUnavailable() {
  fs::remove_all(root_ / "class");
}

TScratchFolder::TScratchFolder() : path_(MakeTempDir("tarvi-work")) {}

TScratchFolder::~TScratchFolder() {
  std::error_code ignored;
  if (!previous_.empty()) fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

void TScratchFolder::Enter() {
  if (previous_.empty()) previous_ = fs::current_path();
  fs::current_path(path_);
}

void TScratchFolder::Write(const std::string& file, const std::string& content) const {
  std::ofstream(path_ / file, std::ios::binary) << content;
}

void TScratchFolder::Remove(const std::string& file) const {
  fs::remove(path_ / file);
}
