// A sysfs tree of a test's own (<root>/class/tty/<name>), for the system list of serial ports.
// Point SYSFS_PATH at Root() to make the program read it. The tree is removed with the object.
#pragma once

#include <filesystem>
#include <string>

class TFakeSysfs {
 public:
  TFakeSysfs();
  ~TFakeSysfs();
  TFakeSysfs(const TFakeSysfs&) = delete;
  TFakeSysfs& operator=(const TFakeSysfs&) = delete;

  // A port backed by hardware (it has a `device` link); uartType >= 0 also writes its `type`.
  void AddPort(const std::string& name, int uartType = -1);
  // An entry without a device (a virtual terminal), which is no port.
  void AddVirtualTerminal(const std::string& name);
  void RemovePort(const std::string& name);
  // No port at all, but a list that can be read (undoes MakeUnavailable).
  void ClearPorts();
  // Takes class/tty away so that the list cannot be read at all.
  void MakeUnavailable();

  std::string Root() const { return root_.string(); }

 private:
  std::filesystem::path root_;
};

// A folder of a test's own, removed with the object; the working folder of the process while
// Enter()ed, so that "comports.txt" is read from it.
class TScratchFolder {
 public:
  TScratchFolder();
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  void Enter();
  void Write(const std::string& file, const std::string& content) const;
  void Remove(const std::string& file) const;
  std::filesystem::path Path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};
