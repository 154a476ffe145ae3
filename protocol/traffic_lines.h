// The text layout of a request and its reply as the traffic log shows them: two upper-case
// hexadecimal digits and one blank per byte, "TX : " before a request, "RX : " and 17 cells per
// line for a reply. The window's log and the command-line trace write the same lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Two upper-case hexadecimal digits, high nibble first: 10 -> "0A", 247 -> "F7".
std::string ByteToHex(std::uint8_t value);

// Each byte as two digits and one blank: the cells of a log line ("05 03 0E ").
std::string HexCells(const std::uint8_t* bytes, std::size_t count);

// "TX : " followed by the 8 bytes of a request, each as two digits and one blank.
std::string RequestLine(const std::uint8_t* frame);

// The reply lines: "RX : " and up to 17 byte cells, then five blanks and up to 17 cells on each
// further line; 17 or more bytes give count / 17 + 1 lines, so a count that is a multiple of 17
// ends with a line of the five blanks alone.
std::vector<std::string> ReplyLines(const std::uint8_t* bytes, std::size_t count);

// The placeholder shown while no reply byte has come.
inline constexpr const char* kEmptyReplyLine = "RX :";
