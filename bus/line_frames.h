// Cutting the bytes a listener hears on a live line into Modbus-RTU frames. Pure: the caller
// hands over each read with the time it returned, and says when time has passed; any thread.
//
// A frame ends where its function says it does (a read request 8 bytes, its reply 5 + the byte
// count, a write and its echo 8, an exception 5, ...) and its CRC holds; so a reply with a pause
// inside it stays whole, and two frames that came without a silence between them are still two.
// Bytes that cannot begin a frame are garbage, handed over (as one garbled piece) before the next
// frame, or when the line has been silent for the cut (`cutSilence`): a frame that is still
// short then is garbled too.
//
// The listener sees the line only through its reads: a byte crossed the line after the read
// before its own (less the adapter's latency) and before its own read; and on one line the bytes
// follow each other at least one character apart. From that, the latest the second frame can
// have begun and the earliest the first can have ended bound the silence between them from
// above; two frames are too close when that bound is shorter than the 3.5 characters of the
// rate by more than `tolerance` (the adapter's and this program's own uncertainty). Where a
// listener that was held up cannot show it, nothing is said.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

struct TLineFrame {
  using Clock = std::chrono::steady_clock;
  std::vector<std::uint8_t> bytes;
  bool crcOk = false;         // false: garbled (garbage, or a frame cut short)
  Clock::time_point firstAt;  // the read that brought its first byte
  Clock::time_point lastAt;   // the read that brought its last byte
  // Set when it provably followed the frame before it with less than 3.5 characters of
  // silence: the longest that silence can have been, in milliseconds.
  std::optional<double> tooCloseMs;
};

class TFrameFinder {
 public:
  using Clock = std::chrono::steady_clock;

  // rate: of the line, in Bd; cutSilence: the silence after which a short frame is garbled;
  // tolerance: see above; handOver: the longest the adapter holds a byte before it hands it
  // over (a USB adapter's latency timer), by which a byte may have crossed the line before the
  // read before its own.
  TFrameFinder(std::uint32_t rate, std::chrono::microseconds cutSilence,
               std::chrono::microseconds tolerance, std::chrono::microseconds handOver = {});

  // The bytes of one read that returned at `at`; the frames complete with them.
  std::vector<TLineFrame> Feed(const std::uint8_t* bytes, std::size_t count, Clock::time_point at);
  // Time has passed without a byte: once the silence has reached the cut, what is held comes
  // out as garbled (or as a frame of a function it does not know, whose CRC holds).
  std::vector<TLineFrame> Idle(Clock::time_point now);
  // When Idle should next be called to cut what is held; nothing while nothing is held.
  std::optional<Clock::time_point> CutAt() const;

  // The 3.5 characters of the rate.
  std::chrono::microseconds FrameSilence() const { return silence_; }
  std::chrono::microseconds CharTime() const { return charTime_; }
  // How many more bytes the frame that is held needs at the least, by its function; 0 when
  // nothing is held or the function does not tell.
  std::size_t BytesStillDue() const;

 private:
  struct TByte {
    std::uint8_t value;
    Clock::time_point readAt;    // the read that brought it: it had crossed the line by then
    Clock::time_point earliest;  // the earliest it can have crossed the line
  };

  // Takes out every frame that is complete; `silent`: the line has been silent for the cut, so
  // nothing more will join what is held.
  void Extract(std::vector<TLineFrame>& out, bool silent);
  void Emit(std::vector<TLineFrame>& out, std::size_t length, bool crcOk);
  void EmitGarbage(std::vector<TLineFrame>& out);

  std::chrono::microseconds charTime_;
  std::chrono::microseconds silence_;
  std::chrono::microseconds cut_;
  std::chrono::microseconds tolerance_;
  std::chrono::microseconds handOver_;
  std::deque<TByte> held_;
  std::vector<TByte> garbage_;
  Clock::time_point lastRead_{};
  bool anyRead_ = false;
  std::optional<TByte> lastEmitted_;  // the last byte of the frame before, for the closeness
  std::optional<Clock::time_point> lastEarliest_;  // of the last byte fed
};

// The lengths a frame can have, from its first bytes (address, function, ...): none when the
// function is unknown; a length larger than `count` means more must come first.
std::vector<std::size_t> FrameLengths(const std::uint8_t* bytes, std::size_t count);
