#include "cli/port_shown.h"

#include "serial/serial_device.h"

std::string PortShown(const std::string& portName) {
  return TSerialDevice::PathOf(portName);
}
