// A minimal Modbus master for the tests of the virtual device: opens a pty slave raw at a rate,
// writes a frame and gathers what comes back with the time each piece arrived. Independent of
// the product's serial code on purpose. One thread; reads block in poll() up to their deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

struct TArrival {
  Clock::time_point at;
  Bytes bytes;
};

struct TReceived {
  std::vector<TArrival> pieces;
  bool hungUp = false;  // the other side went away (EIO or POLLHUP)

  Bytes All() const;
  std::size_t Size() const { return All().size(); }
  Clock::time_point First() const { return pieces.front().at; }
  Clock::time_point Last() const { return pieces.back().at; }
};

class TTinyMaster {
 public:
  // Opens path (O_NOCTTY) and sets it raw, 8N1, at rate (any rate, through termios2). Throws
  // std::system_error.
  TTinyMaster(const std::string& path, std::uint32_t rate);
  ~TTinyMaster();
  TTinyMaster(const TTinyMaster&) = delete;
  TTinyMaster& operator=(const TTinyMaster&) = delete;

  void SetLine(std::uint32_t rate);
  // Writes all of frame; returns the time just before the write.
  Clock::time_point Write(std::span<const std::uint8_t> frame);
  // Gathers bytes until want bytes came, or silence after the last byte, or wait with nothing.
  // The default silence is long: a reader that asks for the whole reply stops at its last byte
  // anyway, and the sending thread of a sanitizer build on a busy machine may pause mid-reply.
  TReceived Read(std::size_t want, std::chrono::milliseconds wait,
                 std::chrono::milliseconds silence = std::chrono::milliseconds(500));
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// "F7 03 00" -> bytes, and back.
Bytes FromHex(const std::string& text);
std::string ToHex(std::span<const std::uint8_t> bytes);
