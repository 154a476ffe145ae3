#include "cli/port_shown.h"

std::string PortShown(const std::string& portName) {
  return portName;
}
