// What Windows' device manager knows about the COM ports present: for each port name (COM5),
// the driver's service name (Serial, usbser, FTSER2K, silabser, ...), the maker and the name
// Device Manager shows ("USB Serial Port (COM5)"), and for a USB adapter its vendor:product and
// serial number, read from the device instance ids of the port and of the devices above it
// (USB\VID_0403&PID_6001\A50285BI). A serial number that Windows made up itself (it then holds
// '&') is no serial number and is left empty. Nothing is opened to find out.
#pragma once

#include <map>
#include <string>

#include "serial/port_discovery.h"

// A port name as ReadDeviceManagerPorts keys it: in upper case (Windows' names ignore the case).
std::string UpperCase(std::string text);

// Keyed by the port name in upper case; ports the device manager does not list are absent.
// Only the fields the device manager tells are filled (never name or byIdPaths).
std::map<std::string, TPortDetails> ReadDeviceManagerPorts();

// The vendor, product and serial number in one device instance id; false when it holds no USB
// vendor and product. Only a USB\ id gives a serial number.
// "USB\VID_0403&PID_6001\A50285BI" gives 0403, 6001, A50285BI; an interface of a composite
// device ("USB\VID_2341&PID_0043&MI_00\6&1A2B&0&0000") gives 2341, 0043 and no serial number.
bool ParseUsbInstanceId(const std::string& instanceId, TPortDetails& details);
