#include "protocol/traffic_lines.h"

#include <algorithm>

namespace {
constexpr std::size_t kCellsPerLine = 17;
constexpr std::size_t kRequestLength = 8;
}  // namespace

std::string ByteToHex(std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value / 16], kDigits[value % 16]};
}

std::string HexCells(const std::uint8_t* bytes, std::size_t count) {
  std::string cells;
  cells.reserve(3 * count);
  for (std::size_t i = 0; i < count; ++i) {
    cells += ByteToHex(bytes[i]);
    cells += ' ';
  }
  return cells;
}

std::string RequestLine(const std::uint8_t* frame) {
  return "TX : " + HexCells(frame, kRequestLength);
}

std::vector<std::string> ReplyLines(const std::uint8_t* bytes, std::size_t count) {
  const std::size_t lineCount = count < kCellsPerLine ? 1 : count / kCellsPerLine + 1;
  std::vector<std::string> lines;
  lines.reserve(lineCount);
  for (std::size_t i = 0; i < lineCount; ++i) {
    const std::size_t begin = i * kCellsPerLine;
    const std::size_t end = std::min(count, begin + kCellsPerLine);
    lines.push_back((i == 0 ? "RX : " : "     ") + HexCells(bytes + begin, end - begin));
  }
  return lines;
}
