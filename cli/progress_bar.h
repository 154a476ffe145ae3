// The scan's progress bar on a terminal: the text of its line (a bar, the address and rate being
// probed, how far the scan is, and the time left), and the bytes that draw that line over the
// one before and clear it before any other output. Pure; the caller writes the bytes to standard
// error.
#pragma once

#include <chrono>
#include <string>

struct TProgress {
  unsigned done = 0;   // probes sent
  unsigned total = 1;  // probes in the whole scan
  unsigned address = 0;
  unsigned rate = 0;
  unsigned rateNumber = 1;  // which of the rates (from 1)
  unsigned rates = 1;
  std::chrono::seconds left{};
};

// Fits in `columns` (the line never wraps; at least the numbers are kept when it is narrow).
std::string ProgressLine(const TProgress& progress, int columns);

// Draws the line again and again in place. With escape sequences each line ends with "erase to
// the end of the line"; a console that refuses them (Windows before 10 shows them as text) gets
// a carriage return and spaces only, as many as cover what the line before left.
class TProgressBar {
 public:
  explicit TProgressBar(bool escapes) : escapes_(escapes) {}

  // The bytes that show `line` in place of the line shown before, if any.
  std::string Draw(const std::string& line);
  // The bytes that leave the cursor at the start of an empty line; none when nothing is shown.
  std::string Clear();
  bool Shown() const { return shown_; }

 private:
  bool escapes_;
  bool shown_ = false;
  std::size_t width_ = 0;  // characters of the line shown
};
