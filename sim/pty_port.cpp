#include "sim/pty_port.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "sim/peer_line.h"

namespace sim {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

std::string ReadLink(const std::string& path) {
  std::array<char, 4096> buffer{};
  const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size() - 1);
  return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

TPtyPort::TPtyPort(std::string linkPath, std::uint32_t initialRate)
    : linkPath_(std::move(linkPath)) {
  try {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) ThrowErrno("posix_openpt");
    if (grantpt(master_) != 0) ThrowErrno("grantpt");
    if (unlockpt(master_) != 0) ThrowErrno("unlockpt");
    std::array<char, 128> name{};
    if (ptsname_r(master_, name.data(), name.size()) != 0) ThrowErrno("ptsname_r");
    slavePath_ = name.data();
    heldSlave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (heldSlave_ < 0) ThrowErrno("open " + slavePath_);
    if (!SetRawLine(heldSlave_, initialRate)) ThrowErrno("termios of " + slavePath_);
    // The watch starts after our own open, so every notice is about another program.
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && inotify_add_watch(watch_, slavePath_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
      close(watch_);
      watch_ = -1;
    }
    Publish();
  } catch (...) {
    CloseAll();
    throw;
  }
}

TPtyPort::~TPtyPort() {
  Unpublish();
  CloseAll();
}

bool TPtyPort::ReadOpenNotices() {
  if (watch_ < 0) return false;
  bool lastClosed = false;
  alignas(inotify_event) std::array<char, 4096> buffer;
  for (;;) {
    const ssize_t n = read(watch_, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      inotify_event event;
      std::memcpy(&event, buffer.data() + at, sizeof event);
      if (event.mask & IN_Q_OVERFLOW) {
        users_ = users_ > 0 ? users_ : 1;  // notices were lost: assume the port is in use
      } else if (event.mask & IN_OPEN) {
        ++users_;
      } else if ((event.mask & IN_CLOSE) && users_ > 0) {
        if (--users_ == 0) lastClosed = true;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
    }
  }
  // A close and the next program's open in one batch (the bus thread came to the notices late):
  // the queue now holds what the bus wrote for the new session, which must not be flushed.
  return lastClosed && users_ == 0;
}

void TPtyPort::ForgetSession() {
  ioctl(heldSlave_, TCFLSH, TCIFLUSH);
  ioctl(heldSlave_, TIOCNXCL);
}

void TPtyPort::Publish() {
  if (linkPath_.empty()) return;
  namespace fs = std::filesystem;
  const fs::path link(linkPath_);
  std::error_code error;
  const fs::file_status status = fs::symlink_status(link, error);
  if (fs::exists(status) && !fs::is_symlink(status))
    throw std::system_error(EEXIST, std::generic_category(), linkPath_ + " is not a link");
  if (link.has_parent_path()) fs::create_directories(link.parent_path());
  // A link under a temporary name renamed over the old one: the path never goes missing.
  const std::string temporary = linkPath_ + ".new" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(slavePath_.c_str(), temporary.c_str()) != 0) ThrowErrno("symlink " + temporary);
  if (rename(temporary.c_str(), linkPath_.c_str()) != 0) {
    const int saved = errno;
    unlink(temporary.c_str());
    errno = saved;
    ThrowErrno("rename to " + linkPath_);
  }
}

void TPtyPort::Unpublish() noexcept {
  if (!linkPath_.empty() && ReadLink(linkPath_) == slavePath_) unlink(linkPath_.c_str());
}

void TPtyPort::CloseAll() noexcept {
  for (int* fd : {&watch_, &heldSlave_, &master_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

}  // namespace sim
