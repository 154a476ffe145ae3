// Runs a program as a child process for the tests, with its stdout and stderr in pipes. Waits
// block in poll() on the pipes or a pidfd, never longer than the deadline given.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class TChildProcess {
 public:
  // Starts program with args (argv[0] is program). Throws std::system_error.
  TChildProcess(const std::string& program, const std::vector<std::string>& args);
  // Kills the child if still running (SIGKILL to its pid) and reaps it.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // The first line the child writes on stdout (without the newline), or nothing by the deadline.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  void Signal(int signal);
  // Its exit status (or 128 + signal), or nothing if it is still running at the deadline.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // Everything it wrote on stderr so far (after Wait: all of it).
  std::string Stderr();
  // What it wrote on stdout so far that ReadLine has not taken (after Wait: all of the rest).
  std::string Stdout();

 private:
  void Drain(int fd, std::string& into);
  int pid_ = -1;
  int pidfd_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string outText_;
  std::string errText_;
  std::optional<int> status_;
};

// The folder of the built programs: TARVI_BIN_DIR when set, else the folder of this test program
// (every program of the build lands in the same bin/).
std::string BinDir();
