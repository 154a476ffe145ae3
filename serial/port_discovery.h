// The serial ports present on this machine (the fallback list file is read with
// text_file_reader.h).
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

#include <optional>
#include <string>
#include <vector>

// Port names (ttyS0, ttyUSB0 / COM1, COM3) in natural order; std::nullopt when the list cannot
// be read at all ("unavailable"), an empty list when it can be read and holds no port. `source`
// is the sysfs root (Linux) or the key under HKEY_LOCAL_MACHINE (Windows).
std::optional<std::vector<std::string>> ReadSystemPortList();
std::optional<std::vector<std::string>> ReadSystemPortList(const std::string& source);

// What the system tells about one port, for listing; empty texts where it tells nothing.
struct TPortDetails {
  std::string name;          // the kernel name, as ReadSystemPortList gives it
  std::string driver;        // ftdi_sio, ch341, cp210x, cdc_acm, serial8250, ...
  std::string usbVendorId;   // four hex digits, USB adapters only
  std::string usbProductId;  // four hex digits
  std::string serialNumber;  // the USB serial number, where the adapter has one
  std::string manufacturer;  // the USB manufacturer and product strings
  std::string product;
  std::vector<std::string> byIdPaths;  // stable names that point at the port, sorted
  // The adapter's latency timer in milliseconds (how long a USB-serial chip holds received
  // bytes before it hands them over), where the driver tells it: ftdi_sio's latency_timer in
  // sysfs, the FTDI driver's LatencyTimer value on Windows.
  std::optional<int> latencyMs;
};

// The ports of ReadSystemPortList, in the same order, with their details; std::nullopt when the
// list cannot be read.
// Linux: the stable names come from <devRoot>/serial/by-id. The roots are $SYSFS_PATH (else
// /sys) and $DEV_PATH (else /dev), so tests can point both at folders of their own (or name
// them, port_discovery_linux.h).
// Windows: the driver, maker, Device Manager's name and USB ids from the device manager
// (device_manager_ports_win32.h); a port it does not list gets the kernel device of its
// SERIALCOMM value as its driver (Serial0, VCP0). No stable names: a COM number already stays
// with its adapter.
std::optional<std::vector<TPortDetails>> ReadSystemPortDetails();

// Orders names with their digit runs compared as numbers: ttyS2 before ttyS10, COM9 before COM10.
bool NaturalLess(const std::string& a, const std::string& b);
