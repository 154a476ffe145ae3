#include "tests/support/program_dir.h"

#include <cstdlib>
#include <filesystem>

std::string ProgramDir() {
  if (const char* dir = std::getenv("TARVI_BIN_DIR"); dir != nullptr && *dir != '\0') return dir;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}
