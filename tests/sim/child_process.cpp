#include "tests/sim/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int PollFor(int fd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
    if (ready < 0 && errno == EINTR) continue;
    return ready;
  }
}

}  // namespace

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>& args) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  if (pipe2(err, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  out_ = out[0];
  err_ = err[0];
  if (failed != 0) {
    close(out_);
    close(err_);
    throw std::system_error(failed, std::generic_category(), "spawn " + program);
  }
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  fcntl(err_, F_SETFL, O_NONBLOCK);
  fcntl(out_, F_SETFL, O_NONBLOCK);
}

TChildProcess::~TChildProcess() {
  if (!status_) {
    kill(pid_, SIGKILL);
    int status;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  for (int fd : {pidfd_, out_, err_})
    if (fd >= 0) close(fd);
}

void TChildProcess::Drain(int fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    into.append(buffer, static_cast<std::size_t>(n));
  }
}

std::optional<std::string> TChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t end = outText_.find('\n');
    if (end != std::string::npos) {
      std::string line = outText_.substr(0, end);
      outText_.erase(0, end + 1);
      return line;
    }
    if (PollFor(out_, deadline) <= 0) return std::nullopt;
    const std::size_t before = outText_.size();
    Drain(out_, outText_);
    if (outText_.size() == before) return std::nullopt;  // end of file: the child closed stdout
  }
}

void TChildProcess::Signal(int signal) {
  if (!status_) kill(pid_, signal);
}

std::optional<int> TChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  if (pidfd_ >= 0 && PollFor(pidfd_, Clock::now() + timeout) <= 0) return std::nullopt;
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid_, &status, 0);
  } while (done < 0 && errno == EINTR);
  if (done != pid_) return std::nullopt;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

std::string TChildProcess::Stderr() {
  Drain(err_, errText_);
  return errText_;
}

std::string TChildProcess::Stdout() {
  Drain(out_, outText_);
  return outText_;
}

std::string BinDir() {
  const char* dir = std::getenv("TARVI_BIN_DIR");
  if (dir && *dir) return dir;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  const std::string path(self, static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/'));
}
