// The text of the scan's progress bar on a terminal: a bar, the address and rate being probed,
// how far the scan is, and the time left. Pure; the caller writes it to standard error after a
// carriage return and clears it (ClearProgressLine) before any other output.
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

// Carriage return and "erase to the end of the line".
inline constexpr const char* kClearProgressLine = "\r\033[K";
