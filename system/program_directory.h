// The folder of the running executable, where the "locale" catalogues sit beside the program.
// Falls back to the current folder when the system cannot tell.
#pragma once

#include <string>

std::string ProgramDirectory();
