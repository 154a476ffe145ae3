// The folder of the built programs (tarvi, tarvi-sim) and their catalogues: $TARVI_BIN_DIR when
// set, else the folder of the running test program, which the build puts beside them.
#pragma once

#include <string>

std::string ProgramDir();
