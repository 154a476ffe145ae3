#include <filesystem>
#include <system_error>

#include "system/program_directory.h"

std::string ProgramDirectory() {
  std::error_code failure;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failure);
  if (failure) return std::filesystem::current_path(failure).string();
  return self.parent_path().string();
}
