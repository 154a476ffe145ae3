#include "protocol/traffic_lines.h"

#include <algorithm>

namespace {
constexpr std::size_t kCellsPerLine = 17;
constexpr std::size_t kRequestLength = 8;

void AppendCell(std::string& line, std::uint8_t byte) {
  line += ByteToHex(byte);
  line += ' ';
}
}  // namespace

std::string ByteToHex(std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value / 16], kDigits[value % 16]};
}

std::string RequestLine(const std::uint8_t* frame) {
  std::string line = "TX : ";
  for (std::size_t i = 0; i < kRequestLength; ++i)
    AppendCell(line, frame[i]);
  return line;
}

std::vector<std::string> ReplyLines(const std::uint8_t* bytes, std::size_t count) {
  const std::size_t lineCount = count < kCellsPerLine ? 1 : count / kCellsPerLine + 1;
  std::vector<std::string> lines;
  lines.reserve(lineCount);
  for (std::size_t i = 0; i < lineCount; ++i) {
    std::string line = i == 0 ? "RX : " : "     ";
    const std::size_t end = std::min(count, (i + 1) * kCellsPerLine);
    for (std::size_t p = i * kCellsPerLine; p < end; ++p)
      AppendCell(line, bytes[p]);
    lines.push_back(std::move(line));
  }
  return lines;
}
