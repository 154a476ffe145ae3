#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>

#include "serial/port_discovery_linux.h"

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// A ttyS* whose driver found no UART reports type 0 (no port type) in sysfs.
bool IsPhantomUart(const std::string& entryPath, const std::string& name) {
  if (name.rfind("ttyS", 0) != 0) return false;
  std::ifstream type(entryPath + "/type");
  int value = -1;
  return (type >> value) && value == 0;
}

std::string RootFrom(const char* variable, const char* fallback) {
  const char* root = std::getenv(variable);
  return root != nullptr && *root != '\0' ? root : fallback;
}

// The first line of a sysfs attribute file, or "" when there is none.
std::string ReadAttribute(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

// The USB device above a tty: the nearest folder upward from the tty's device that holds an
// idVendor file (for ttyUSB the port sits under the interface, which sits under the device).
void ReadUsbDetails(const std::filesystem::path& device, const std::filesystem::path& sysfsRoot,
                    TPortDetails& details) {
  std::error_code failure;
  std::filesystem::path folder = std::filesystem::canonical(device, failure);
  if (failure) return;
  const std::filesystem::path root = std::filesystem::canonical(sysfsRoot, failure);
  for (int level = 0; level < 6 && !folder.empty() && folder != root; ++level) {
    if (Exists((folder / "idVendor").string())) {
      details.usbVendorId = ReadAttribute(folder / "idVendor");
      details.usbProductId = ReadAttribute(folder / "idProduct");
      details.serialNumber = ReadAttribute(folder / "serial");
      details.manufacturer = ReadAttribute(folder / "manufacturer");
      details.product = ReadAttribute(folder / "product");
      return;
    }
    if (folder == folder.parent_path()) return;
    folder = folder.parent_path();
  }
}

// The driver of the hardware behind a tty. Since Linux 6.5 the serial core puts a "port" and a
// "ctrl" device of its own (subsystem serial-base) between the tty and the UART's device: the
// driver that names the hardware is the first one above them.
std::string DriverOf(const std::filesystem::path& device) {
  namespace fs = std::filesystem;
  std::error_code failure;
  fs::path folder = fs::canonical(device, failure);
  if (failure) return {};
  for (int level = 0; level < 4 && folder.has_parent_path(); ++level) {
    std::error_code linkFailure;
    const fs::path subsystem = fs::read_symlink(folder / "subsystem", linkFailure);
    if (linkFailure || subsystem.filename() != "serial-base") {
      const fs::path driver = fs::read_symlink(folder / "driver", linkFailure);
      return linkFailure ? std::string() : driver.filename().string();
    }
    folder = folder.parent_path();
  }
  return {};
}

// The latency timer of a USB-serial port (ftdi_sio publishes it for each of its ports); none for
// other drivers, or when the file holds no number of milliseconds.
std::optional<int> ReadLatencyTimer(const std::filesystem::path& sysfsRoot,
                                    const std::string& name) {
  const std::string text =
      ReadAttribute(sysfsRoot / "bus" / "usb-serial" / "devices" / name / "latency_timer");
  if (text.empty() || text.size() > 3 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const int value = std::stoi(text);
  return value <= 255 ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

std::optional<std::vector<TPortDetails>> ReadSystemPortDetails() {
  return ReadSystemPortDetails(RootFrom("SYSFS_PATH", "/sys"), RootFrom("DEV_PATH", "/dev"));
}

std::optional<std::vector<TPortDetails>> ReadSystemPortDetails(const std::string& sysfsRoot,
                                                               const std::string& devRoot) {
  namespace fs = std::filesystem;
  const std::optional<std::vector<std::string>> names = ReadSystemPortList(sysfsRoot);
  if (!names) return std::nullopt;

  // by-id holds links such as usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 -> ../../ttyUSB0.
  std::vector<std::pair<std::string, std::string>> byId;  // (port name, link path)
  std::error_code failure;
  const fs::path byIdDir = fs::path(devRoot) / "serial" / "by-id";
  for (fs::directory_iterator it(byIdDir, failure), end; !failure && it != end;
       it.increment(failure)) {
    std::error_code linkFailure;
    const fs::path target = fs::read_symlink(it->path(), linkFailure);
    if (!linkFailure) byId.emplace_back(target.filename().string(), it->path().string());
  }

  std::vector<TPortDetails> ports;
  for (const std::string& name : *names) {
    TPortDetails details;
    details.name = name;
    const fs::path device = fs::path(sysfsRoot) / "class" / "tty" / name / "device";
    details.driver = DriverOf(device);
    ReadUsbDetails(device, sysfsRoot, details);
    details.latencyMs = ReadLatencyTimer(sysfsRoot, name);
    for (const auto& [port, link] : byId)
      if (port == name) details.byIdPaths.push_back(link);
    std::sort(details.byIdPaths.begin(), details.byIdPaths.end());
    ports.push_back(std::move(details));
  }
  return ports;
}

std::optional<std::vector<std::string>> ReadSystemPortList() {
  return ReadSystemPortList(RootFrom("SYSFS_PATH", "/sys"));
}

std::optional<std::vector<std::string>> ReadSystemPortList(const std::string& source) {
  const std::string classDir = source + "/class/tty";
  std::unique_ptr<DIR, DirCloser> dir(opendir(classDir.c_str()));
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string entryPath = classDir + "/" + name;
    if (!Exists(entryPath + "/device")) continue;  // virtual terminals and the like
    if (IsPhantomUart(entryPath, name)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}
