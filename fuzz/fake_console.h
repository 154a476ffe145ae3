// A window for the protocol without widgets: the traffic log as a list of lines (the reply shown
// in the cells of the real log), timers that only remember their state, and the controls as
// plain values. The yes/no question answers what the fuzz input says.
#pragma once

#include <string>
#include <vector>

#include "protocol/console_link.h"
#include "serial/com_port.h"

class TFakeLog final : public TTrafficLogView {
 public:
  void LogRequest() override;
  void LogReply() override;
  void AddLine(const std::string& line) override { lines.push_back(line); }
  void Clear() override { lines.clear(); }
  void SetColour(TLogColour c) override { colour = c; }

  std::vector<std::string> lines;
  TLogColour colour = TLogColour::Navy;
};

class TFakeTimer final : public TProtocolTimer {
 public:
  void SetInterval(std::uint32_t ms) override { interval = ms; }
  std::uint32_t Interval() const override { return interval; }
  void SetEnabled(bool on) override { enabled = on; }
  bool Enabled() const override { return enabled; }

  std::uint32_t interval = 0;
  bool enabled = false;
};

class TFakeConsole final : public TConsoleLink {
 public:
  TTrafficLogView& Log() override { return log; }
  TComPort& Port() override { return port; }
  TProtocolTimer& RxTimer() override { return rxTimer; }
  TProtocolTimer& StepTimer() override { return stepTimer; }
  void ClearModeButtons() override { powerUpMode = onCommandMode = -1; }
  void SelectModeButton(TModeColumn column, int mode) override;
  void SetRememberChecked(bool checked) override { remember = checked; }
  void SetAddressField(int value) override { addressField = value; }
  void SetAddressLabel(const std::string& caption) override { addressLabel = caption; }
  void SetStatusText(int panel, const std::string& text) override;
  void UncheckBaudItems() override { checkedBaud = -1; }
  void CheckBaudItem(int index) override { checkedBaud = index; }
  bool AskYesNo(const std::string&, const std::string&) override {
    ++questions;
    return answerYes;
  }
  void SetProgressVisible(bool visible) override { progressVisible = visible; }
  void SetProgressPosition(int position) override { progress = position; }
  void SetSearchCaption(const std::string& caption) override { searchCaption = caption; }
  void FocusMenuBar() override {}

  TFakeLog log;
  TComPort port;  // never opened: closing it does nothing, setting its rate only stores
  TFakeTimer rxTimer;
  TFakeTimer stepTimer;
  int powerUpMode = -1;
  int onCommandMode = -1;
  bool remember = false;
  int addressField = 0;
  std::string addressLabel;
  std::string statusTexts[3];
  int checkedBaud = -1;
  bool answerYes = false;
  int questions = 0;
  bool progressVisible = false;
  int progress = 0;
  std::string searchCaption;
};
