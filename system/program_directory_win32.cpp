#include <windows.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "system/program_directory.h"

std::string ProgramDirectory() {
  // The path may exceed MAX_PATH; grow the buffer until it fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) break;
    if (length < size) {
      const std::filesystem::path self(std::wstring(buffer.data(), length));
      try {
        return self.parent_path().string();
      } catch (const std::system_error&) {
        break;  // a folder name the ANSI code page cannot spell
      }
    }
    if (buffer.size() >= 32768) break;
    buffer.resize(buffer.size() * 2);
  }
  std::error_code failure;
  return std::filesystem::current_path(failure).string();
}
