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
  // A port of a USB adapter: its device sits under a USB device folder that holds the ids, the
  // serial number (none when empty) and the strings; its driver link names the driver.
  struct TUsbAdapter {
    std::string driver;
    std::string vendorId;
    std::string productId;
    std::string serial;
    std::string manufacturer;
    std::string product;
  };
  void AddUsbPort(const std::string& name, const TUsbAdapter& adapter);
  // A port whose device has a driver link (serial8250 for a UART on the board). With serialBase,
  // the serial core's "port" and "ctrl" devices stand between the tty and that device, as
  // since Linux 6.5.
  void AddPortWithDriver(const std::string& name, const std::string& driver, int uartType = -1,
                         bool serialBase = false);
  // <root>/bus/usb-serial/devices/<name>/latency_timer holding `text`, as ftdi_sio has it.
  void SetLatencyTimer(const std::string& name, const std::string& text);
  // <DevRoot()>/serial/by-id/<linkName> -> ../../<port>, as udev makes it.
  void AddByIdLink(const std::string& linkName, const std::string& port);
  // The folder to point DEV_PATH at.
  std::string DevRoot() const { return (root_ / "dev").string(); }

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
