#include "tests/drivers/plug_control.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/wait_until.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string RequestPlug(const std::string& share, const std::string& action,
                        std::chrono::milliseconds timeout) {
  // Requests are numbered from 1 in the order given, over all programs of one guest run.
  int n = 1;
  while (Exists(share + "/plug-" + std::to_string(n) + ".req"))
    ++n;
  const std::string base = share + "/plug-" + std::to_string(n);
  {
    std::ofstream request(base + ".part");
    request << action;
    if (!request) return "cannot write " + base + ".part";
  }
  std::error_code error;
  std::filesystem::rename(base + ".part", base + ".req", error);
  if (error) return "cannot publish " + base + ".req: " + error.message();

  const std::string done = base + ".done";
  if (!WaitUntil([&] { return Exists(done); }, timeout,
                 [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }))
    return "no answer from the host to plug " + action;
  std::ifstream answer(done);
  std::stringstream text;
  text << answer.rdbuf();
  // The monitor answers {"return": {}} on success and {"error": ...} otherwise.
  if (text.str().find("\"return\"") == std::string::npos)
    return "plug " + action + ": " + text.str();
  return {};
}

bool WaitForNode(const std::string& path, bool present, std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return Exists(path) == present; }, timeout,
                   [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
}
