#include "tests/drivers/port_probe.h"

#include <array>
#include <cstdio>

#include "tests/support/program_dir.h"

namespace {

std::string Run(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  std::array<char, 256> chunk{};
  while (fgets(chunk.data(), chunk.size(), pipe) != nullptr)
    output += chunk.data();
  pclose(pipe);
  return output;
}

std::string Probe(const std::string& port) {
  return ProgramDir() + "/port_open_probe " + port;
}

}  // namespace

std::string ProbeAsRoot(const std::string& port) {
  return Run(Probe(port));
}

std::string ProbeAsUser(const std::string& port, const std::string& groups) {
  const std::string user = std::to_string(kTestUser);
  return Run("setpriv --reuid=" + user + " --regid=" + user +
             (groups.empty() ? " --clear-groups " : " --groups=" + groups + " ") + Probe(port));
}
