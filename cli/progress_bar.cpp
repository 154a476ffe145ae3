#include "cli/progress_bar.h"

#include <algorithm>

#include "bus/messages.h"

std::string ProgressLine(const TProgress& progress, int columns) {
  const long long secondsLeft = progress.left.count();
  std::string text =
      Format(Tr(" %3u/%u  address %3u  %5u Bd (%u of %u)  %lld:%02lld left"), progress.done,
             progress.total, progress.address, progress.rate, progress.rateNumber, progress.rates,
             secondsLeft / 60, secondsLeft % 60);
  // Characters, not bytes, count for the width (a translation may be Cyrillic).
  std::size_t textWidth = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++textWidth;
  const int room = columns - 1 - static_cast<int>(textWidth) - 2;  // the last column stays free
  if (room < 10) return text.substr(0, static_cast<std::size_t>(std::max(0, columns - 1)));
  const int width = std::min(room, 40);
  const int filled =
      progress.total == 0
          ? width
          : static_cast<int>(static_cast<long long>(width) *
                             std::min(progress.done, progress.total) / progress.total);
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "[" + std::string&&.
  std::string line;
  line.reserve(static_cast<std::size_t>(width) + 2 + text.size());
  line += '[';
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(width - filled), '.');
  line += ']';
  line += text;
  return line;
}

namespace {

constexpr const char* kEraseToEndOfLine = "\033[K";

}  // namespace

std::string TProgressBar::Draw(const std::string& line) {
  const std::size_t width = DisplayWidth(line);
  std::string bytes(1, '\r');  // appended, not "\r" + line: GCC 12's false -Wrestrict again
  bytes += line;
  if (escapes_) {
    bytes += kEraseToEndOfLine;
  } else if (shown_ && width_ > width) {
    bytes.append(width_ - width, ' ');
  }
  shown_ = true;
  width_ = width;
  return bytes;
}

std::string TProgressBar::Clear() {
  if (!shown_) return {};
  shown_ = false;
  std::string bytes(1, '\r');
  if (escapes_) return bytes += kEraseToEndOfLine;
  bytes.append(width_, ' ');
  return bytes += '\r';
}
