// Another program run by a benchmark: started with posix_spawn, its stdout sent to a file, to a
// pipe that ReadLine reads, or thrown away; signalled and reaped by its own pid only.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Where the child's stdout goes.
struct TChildOutput {
  std::string path{};  // a file (created or truncated); empty: /dev/null
  bool pipe = false;   // a pipe to this program instead, read with ReadLine
};

class TChildProgram {
 public:
  // Starts program (looked up in PATH when it holds no '/') with args (argv[0] included); stderr
  // goes to /dev/null. Throws std::system_error.
  TChildProgram(const std::string& program, const std::vector<std::string>& args,
                const TChildOutput& output = {});
  // SIGKILL if it is still running, then reaps it.
  ~TChildProgram();
  TChildProgram(const TChildProgram&) = delete;
  TChildProgram& operator=(const TChildProgram&) = delete;

  int Pid() const { return pid_; }
  // The next line it writes on its stdout pipe (without the newline), or nothing by the timeout
  // or at the end of its output.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  void Signal(int signal);
  // Its exit status (128 + signal when killed), or nothing if still running at the timeout.
  std::optional<int> Wait(std::chrono::milliseconds timeout);

 private:
  int pid_ = -1;
  int pidfd_ = -1;  // -1 where the kernel has no pidfd: Wait then only looks once
  int out_ = -1;    // our end of the stdout pipe
  std::string unread_;
  std::optional<int> status_;
};

// The folder of this program; the programs of the build sit beside it in bin/.
std::string BinDir();
