// Uses the kernel's termios2 (<asm/termbits.h>) to set any rate, 14400 included; that header
// clashes with glibc's <termios.h>, so nothing here may include the latter.
#include "tests/sim/tiny_master.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

Bytes TReceived::All() const {
  Bytes all;
  for (const TArrival& piece : pieces)
    all.insert(all.end(), piece.bytes.begin(), piece.bytes.end());
  return all;
}

TTinyMaster::TTinyMaster(const std::string& path, std::uint32_t rate) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
  try {
    SetLine(rate);
  } catch (...) {
    close(fd_);
    throw;
  }
}

TTinyMaster::~TTinyMaster() {
  close(fd_);
}

void TTinyMaster::SetLine(std::uint32_t rate) {
  termios2 settings{};
  if (ioctl(fd_, TCGETS2, &settings) != 0)
    throw std::system_error(errno, std::generic_category(), "TCGETS2");
  settings.c_iflag = 0;
  settings.c_oflag = 0;
  settings.c_lflag = 0;
  settings.c_cflag = CS8 | CREAD | CLOCAL | BOTHER;
  settings.c_ispeed = rate;
  settings.c_ospeed = rate;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (ioctl(fd_, TCSETS2, &settings) != 0)
    throw std::system_error(errno, std::generic_category(), "TCSETS2");
}

Clock::time_point TTinyMaster::Write(std::span<const std::uint8_t> frame) {
  const Clock::time_point at = Clock::now();
  std::size_t done = 0;
  while (done < frame.size()) {
    const ssize_t n = write(fd_, frame.data() + done, frame.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::system_error(errno, std::generic_category(), "write");
    done += static_cast<std::size_t>(n);
  }
  return at;
}

TReceived TTinyMaster::Read(std::size_t want, std::chrono::milliseconds wait,
                            std::chrono::milliseconds silence) {
  TReceived received;
  std::size_t count = 0;
  Clock::time_point deadline = Clock::now() + wait;
  while (count < want) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd fd{fd_, POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    if (fd.revents & POLLIN) {
      std::uint8_t buffer[4096];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n > 0) {
        const Clock::time_point at = Clock::now();
        received.pieces.push_back({at, Bytes(buffer, buffer + n)});
        count += static_cast<std::size_t>(n);
        deadline = at + silence;
        continue;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    }
    received.hungUp = true;  // EIO, end of file, POLLHUP or POLLERR: the master side is gone
    break;
  }
  return received;
}

Bytes FromHex(const std::string& text) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return bytes;
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}
