#include "console/traffic_log.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

#include "console/console_look.h"
#include "protocol/link_state.h"
#include "protocol/reply_interpretation.h"

namespace {
QColor ColourOf(TLogColour colour) {
  switch (colour) {
    case TLogColour::Red:
      return QColor(255, 0, 0);
    case TLogColour::Blue:
      return QColor(0, 0, 255);
    case TLogColour::Navy:
      break;
  }
  return NavyColour();
}
}  // namespace

TTrafficLog::TTrafficLog(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::ArrowCursor);
  setFont(CourierFont());
  setUndoRedoEnabled(false);
  SetColour(TLogColour::Navy);
}

void TTrafficLog::LogRequest() {
  const std::string line = RequestLine(ExchangeBuffer.data());
  SetColour(TLogColour::Red);
  Clear();
  AddLine(line);
  AddLine(kEmptyReplyLine);
}

void TTrafficLog::LogReply() {
  RemoveLastLine();
  const std::size_t count = std::min<std::size_t>(LinkState.RxCount, ExchangeBuffer.size());
  for (const std::string& line : ReplyLines(ExchangeBuffer.data(), count))
    AddLine(line);
  DispatchReply();
}

void TTrafficLog::AddLine(const std::string& line) {
  AppendLine(QString::fromStdString(line));
}

void TTrafficLog::Clear() {
  lines_.clear();
  clear();
}

void TTrafficLog::SetColour(TLogColour colour) {
  colour_ = ColourOf(colour);
  QPalette shades = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    shades.setColor(group, QPalette::Text, colour_);
  }
  setPalette(shades);
}

void TTrafficLog::AppendLine(const QString& line) {
  lines_.append(line);
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (lines_.size() > 1) cursor.insertBlock();
  cursor.insertText(line);
  // Like a memo that moves its caret to each new line: the latest lines stay in view.
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TTrafficLog::RemoveLastLine() {
  if (lines_.isEmpty()) return;
  lines_.removeLast();
  QTextCursor cursor(document()->lastBlock());
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  // Take the line break before the last line with it, unless it is the only line.
  if (!lines_.isEmpty()) {
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::PreviousCharacter);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  }
  cursor.removeSelectedText();
}
