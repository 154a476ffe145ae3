// The port list's two pieces that take outside input: the "comports.txt" reader and the natural
// order of port names (std::sort needs a strict weak order: one that is not breaks the sort).
//
// Input: the file's bytes, then after a 0 byte, port names separated by 0 bytes (at most 8).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/property_check.h"
#include "serial/port_discovery.h"
#include "system/text_file_reader.h"

namespace {

// The lines the reader must give: split at LF, one CR before each LF dropped, no line after a
// final LF.
std::vector<std::string> ExpectedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void CheckReader(const std::string& text) {
  const int fd = memfd_create("comports", MFD_CLOEXEC);
  if (fd < 0) return;
  if (write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    std::vector<std::string> lines;
    {
      TTextFileReader file(path);
      // As the menu reads it: ten lines at most, then the rest for the check.
      for (int i = 0; i < 10 && !file.AtEnd(); ++i)
        lines.push_back(file.ReadLine());
      while (!file.AtEnd())
        lines.push_back(file.ReadLine());
      CHECK(file.AtEnd());
    }
    CHECK(lines == ExpectedLines(text));
  }
  close(fd);
}

void CheckOrder(const std::vector<std::string>& names) {
  for (const std::string& a : names) {
    CHECK(!NaturalLess(a, a));
    for (const std::string& b : names) {
      if (NaturalLess(a, b)) CHECK(!NaturalLess(b, a));
      for (const std::string& c : names) {
        if (NaturalLess(a, b) && NaturalLess(b, c)) CHECK(NaturalLess(a, c));
        // Incomparability is transitive too.
        const bool ab = !NaturalLess(a, b) && !NaturalLess(b, a);
        const bool bc = !NaturalLess(b, c) && !NaturalLess(c, b);
        if (ab && bc) CHECK(!NaturalLess(a, c) && !NaturalLess(c, a));
      }
    }
  }
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end(), NaturalLess);
  CHECK(std::is_sorted(sorted.begin(), sorted.end(), NaturalLess));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  CheckReader(input.substr(0, split));
  if (split == std::string::npos) return 0;
  std::vector<std::string> names;
  std::size_t start = split + 1;
  while (start <= input.size() && names.size() < 8) {
    std::size_t end = input.find('\0', start);
    if (end == std::string::npos) end = input.size();
    names.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  CheckOrder(names);
  return 0;
}
