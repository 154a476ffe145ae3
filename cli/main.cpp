// tarvi-cli: commissioning the devices of the family from the command line.
#include "cli/commands.h"

int main(int argc, char** argv) {
  return RunCli(argc, argv);
}
