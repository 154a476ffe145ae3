#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "serial/port_discovery.h"

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

}  // namespace

std::optional<std::vector<std::string>> ReadSystemPortList() {
  const char* root = std::getenv("SYSFS_PATH");
  return ReadSystemPortList(root != nullptr && *root != '\0' ? root : "/sys");
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

// Opened close-on-exec, so that a program started meanwhile does not inherit it.
TTextFileReader::TTextFileReader(const std::string& path) : file_(std::fopen(path.c_str(), "re")) {
  if (file_ == nullptr) throw EInOutError(errno);
}
