// What the protocol needs of the main window, as an interface the console implements.
//
// The protocol never includes a widget header: commands, the exchange engine, reply
// interpretation and the search reach the traffic log, the controls, the status bar, the yes/no
// question and the two timers through TConsoleLink. There is one window per program; the console
// binds it once at start (BindConsole) and the protocol reaches it through Console().
// Every call is made on the main thread.
#pragma once

#include <cstdint>
#include <string>

class TComPort;

// The single text colour of the traffic log.
enum class TLogColour { Navy, Red, Blue };

// The traffic log (TeMemo1) as the protocol writes it.
class TTrafficLogView {
 public:
  virtual ~TTrafficLogView() = default;
  // Shows the request in ExchangeBuffer[0..7]: colour red, log cleared, the TX line and "RX :".
  virtual void LogRequest() = 0;
  // Shows the first RxCount bytes of ExchangeBuffer in place of the last line, then runs
  // DispatchReply.
  virtual void LogReply() = 0;
  // Appends one whole line (UTF-8).
  virtual void AddLine(const std::string& line) = 0;
  virtual void Clear() = 0;
  virtual void SetColour(TLogColour colour) = 0;
};

// A window timer with these rules: setting the interval or the enabled state to the value it
// already has changes nothing; a real change of either on an enabled timer restarts the
// countdown; it fires again and again until disabled.
class TProtocolTimer {
 public:
  virtual ~TProtocolTimer() = default;
  virtual void SetInterval(std::uint32_t ms) = 0;
  virtual std::uint32_t Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

// The two radio columns of the mode group: A for power-up, B for the "on" command.
enum class TModeColumn { PowerUp, OnCommand };

class TConsoleLink {
 public:
  virtual ~TConsoleLink() = default;

  virtual TTrafficLogView& Log() = 0;       // TeMemo1
  virtual TComPort& Port() = 0;             // ComPort1
  virtual TProtocolTimer& RxTimer() = 0;    // Timer_Rx
  virtual TProtocolTimer& StepTimer() = 0;  // Timer_Programm

  // Mode radio buttons and the remember box. Selecting a button clears the others of its column
  // and runs its click handler; setting the box to a new state runs its click handler.
  virtual void ClearModeButtons() = 0;
  virtual void SelectModeButton(TModeColumn column, int mode) = 0;
  virtual void SetRememberChecked(bool checked) = 0;

  // TeSpinEdit1: setting a value that differs from the one shown runs its change handler.
  virtual void SetAddressField(int value) = 0;
  virtual void SetAddressLabel(const std::string& caption) = 0;        // TeLabel5
  virtual void SetStatusText(int panel, const std::string& text) = 0;  // StatusBar1

  // BaudRate menu check marks; index into BaudTable.
  virtual void UncheckBaudItems() = 0;
  virtual void CheckBaudItem(int index) = 0;

  // A modal warning with "&Yes" (default) and "&No" (also Esc); true only for Yes.
  virtual bool AskYesNo(const std::string& title, const std::string& message) = 0;

  // Search controls: the progress bar, the Start/Stop caption, the focus on the menu bar.
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetSearchCaption(const std::string& caption) = 0;
  virtual void FocusMenuBar() = 0;
};

// The window of the program, bound by the console once it exists (nullptr unbinds).
void BindConsole(TConsoleLink* console);
// The bound window; throws std::logic_error when none is bound.
TConsoleLink& Console();
// Counts the bindings. Work queued for the main thread remembers the binding it was queued under
// and is dropped when the window it was meant for is gone.
unsigned ConsoleBinding();
