// The traffic log TeMemo1: the request as hexadecimal bytes on a "TX" line, the reply on one or
// more "RX" lines, then the one-line verdicts the protocol writes. One text colour applies to
// every line at once (navy at start, red while a reply is awaited, blue once it has been
// handled); changing it recolours the lines already shown. The operator cannot type into it.
// Main thread only.
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/console_link.h"

// Two upper-case hexadecimal digits, high nibble first: 10 -> "0A", 247 -> "F7".
std::string ByteToHex(std::uint8_t value);

// "TX : " followed by the 8 bytes of a request, each as two digits and one blank.
std::string RequestLine(const std::uint8_t* frame);

// The reply lines: "RX : " and up to 17 byte cells, then five blanks and up to 17 cells on each
// further line; 17 or more bytes give count / 17 + 1 lines, so a count that is a multiple of 17
// ends with a line of the five blanks alone.
std::vector<std::string> ReplyLines(const std::uint8_t* bytes, std::size_t count);

class TTrafficLog : public QPlainTextEdit, public TTrafficLogView {
 public:
  explicit TTrafficLog(QWidget* parent = nullptr);

  // Colour red, log cleared, the request line of ExchangeBuffer[0..7] and "RX :".
  void LogRequest() override;
  // Removes the last line, shows the first RxCount bytes of ExchangeBuffer, then DispatchReply.
  void LogReply() override;
  void AddLine(const std::string& line) override;
  void Clear() override;
  void SetColour(TLogColour colour) override;

  QStringList Lines() const { return lines_; }
  QColor Colour() const { return colour_; }

 private:
  void AppendLine(const QString& line);
  void RemoveLastLine();

  QStringList lines_;
  QColor colour_;
};
