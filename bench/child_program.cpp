#include "bench/child_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace {

// Waits until fd is readable or the deadline; true when readable (or at its end).
bool ReadableBy(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

}  // namespace

TChildProgram::TChildProgram(const std::string& program, const std::vector<std::string>& args,
                             const TChildOutput& output) {
  int pipeFds[2] = {-1, -1};
  if (output.pipe && pipe2(pipeFds, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output.pipe) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  } else {
    const char* path = output.path.empty() ? "/dev/null" : output.path.c_str();
    posix_spawn_file_actions_addopen(&actions, 1, path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int error = posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (output.pipe) {
    close(pipeFds[1]);
    out_ = pipeFds[0];
  }
  if (error != 0) {
    if (out_ >= 0) close(out_);
    throw std::system_error(error, std::generic_category(), "spawn " + program);
  }
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

TChildProgram::~TChildProgram() {
  if (out_ >= 0) close(out_);
  if (pidfd_ >= 0) close(pidfd_);
  if (status_) return;
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

std::optional<std::string> TChildProgram::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::size_t end = unread_.find('\n');
    if (end != std::string::npos) {
      std::string line = unread_.substr(0, end);
      unread_.erase(0, end + 1);
      return line;
    }
    if (out_ < 0 || !ReadableBy(out_, deadline)) return std::nullopt;
    char buffer[512];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    unread_.append(buffer, static_cast<std::size_t>(n));
  }
}

void TChildProgram::Signal(int signal) {
  if (!status_) kill(pid_, signal);
}

std::optional<int> TChildProgram::Wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  // The pidfd turns readable when the child ends.
  if (pidfd_ >= 0 && !ReadableBy(pidfd_, std::chrono::steady_clock::now() + timeout))
    return status_;
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid_, &status, pidfd_ >= 0 ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == pid_) status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

std::string BinDir() {
  std::error_code failure;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", failure);
  return failure ? std::string(".") : self.parent_path().string();
}
