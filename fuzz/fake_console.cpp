#include "fuzz/fake_console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "protocol/link_state.h"
#include "protocol/reply_interpretation.h"

namespace {
std::string Cell(std::uint8_t b) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X ", b);
  return text;
}
}  // namespace

void TFakeLog::LogRequest() {
  colour = TLogColour::Red;
  lines.clear();
  std::string tx = "TX : ";
  for (std::size_t i = 0; i < 8; ++i)
    tx += Cell(ExchangeBuffer[i]);
  lines.push_back(tx);
  lines.push_back("RX :");
}

void TFakeLog::LogReply() {
  if (!lines.empty()) lines.pop_back();
  // Like the window's log: only the bytes received, 17 to a line.
  const std::size_t count = std::min<std::size_t>(LinkState.RxCount, ExchangeBuffer.size());
  std::string line = "RX : ";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && i % 17 == 0) {
      lines.push_back(line);
      line = "     ";
    }
    line += Cell(ExchangeBuffer[i]);
  }
  if (count >= 17 && count % 17 == 0) {  // a full last line is followed by one of blanks alone
    lines.push_back(line);
    line = "     ";
  }
  lines.push_back(line);
  DispatchReply();
}

void TFakeConsole::SelectModeButton(TModeColumn column, int mode) {
  if (mode != 0 && (mode < 2 || mode > 10)) std::abort();  // no such button
  (column == TModeColumn::PowerUp ? powerUpMode : onCommandMode) = mode;
}

void TFakeConsole::SetStatusText(int panel, const std::string& text) {
  if (panel < 0 || panel > 2) std::abort();  // the status bar has three panels
  statusTexts[panel] = text;
}
