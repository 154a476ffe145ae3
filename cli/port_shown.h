// How the ports table names a port: the form an operator of this system types after -p (Linux:
// the device path, /dev/ttyUSB0; Windows: the COM name, COM12, not the \\.\COM12 it opens).
// One file per system (port_shown_linux.cpp, port_shown_win32.cpp), picked by the build.
#pragma once

#include <string>

std::string PortShown(const std::string& portName);
