// The service tool for the signalling devices: one window, a Modbus-RTU master on one port.
#include "console/program_start.h"

int main(int argc, char** argv) {
  return RunProgram(argc, argv);
}
