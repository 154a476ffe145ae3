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
#include "protocol/traffic_lines.h"

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
