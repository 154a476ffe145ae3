// TForm1: the one window of the program, holding every control, the two protocol timers and the
// serial port ComPort1, and implementing TConsoleLink for the protocol (bound while it exists).
//
// The controls are public fields named as in the window definition so that tests reach them.
// The window has a fixed client area of 434 x 566 (the menu bar and the framed panel scroll
// inside ScrollBox when the screen is too short; the status bar stays at the bottom). Its
// creation runs FormCreate; its activation from another window of the program runs FormActivate.
// Everything here runs on the main thread except ComPort1RxChar (the port's monitor thread).
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "console/centred_combo_box.h"
#include "console/flat_group_box.h"
#include "console/menu_bar.h"
#include "console/mode_radio_column.h"
#include "console/segmented_progress_bar.h"
#include "console/spin_field.h"
#include "console/status_bar.h"
#include "console/traffic_log.h"
#include "console/ttimer.h"
#include "protocol/console_link.h"
#include "serial/com_port.h"

// What window creation needs to know of the screen to fit the window on it.
struct TScreenFit {
  int screenHeight;  // pixels
  int frameHeight;   // title bar and borders: the outer height less the client height
  // The primary screen; the frame is estimated, as the window manager tells it only once the
  // window is shown.
  static TScreenFit PrimaryScreen();
};

class TForm1 : public QWidget, public TConsoleLink {
 public:
  static constexpr int kClientWidth = 434;
  static constexpr int kClientHeight = 566;

  explicit TForm1(const TScreenFit& screen = TScreenFit::PrimaryScreen());
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Window events.
  void FormCreate();
  void FormActivate();

  // Operator commands and the protocol's events.
  void TeSComboBox1Change();
  void TeButton1Click();
  void TeButton2Click();
  void TeButton3Click();
  void TeButton4Click();
  void TeCheckBox1Click();
  void An_ButtonClick(int mode);  // column A, power-up mode
  void Bn_ButtonClick(int mode);  // column B, mode on the "on" command
  void CustomItem4Click();        // Search > Start / Stop
  void CustomItem6Click();        // Search > Delay > 100ms .. 350ms
  void CustomItem7Click();
  void CustomItem8Click();
  void CustomItem9Click();
  void CustomItem10Click();
  void CustomItem11Click();
  void Timer_RxTimer();
  void Timer_ProgrammTimer();
  void ComPort1RxChar(TCustomComPort& sender, int count);  // monitor thread

  // Link settings.
  void BR_1200Click();
  void BR_2400Click();
  void BR_4800Click();
  void BR_9600Click();
  void BR_14400Click();
  void BR_19200Click();
  void BR_38400Click();
  void BR_57600Click();
  void TeSpinEdit1Change();
  void TeSpinEdit1KeyPress(QChar& key);

  // The Port menu (port_menu.cpp): filled from the ports present, or from "comports.txt" when
  // the system list is unavailable or empty; My makes the clicked entry the port.
  void TeMenuBar1MouseDown();
  void FillPortMenu();
  void My(QAction* sender);

  // TConsoleLink.
  TTrafficLogView& Log() override { return *TeMemo1; }
  TComPort& Port() override { return *ComPort1; }
  TProtocolTimer& RxTimer() override { return *Timer_Rx; }
  TProtocolTimer& StepTimer() override { return *Timer_Programm; }
  void ClearModeButtons() override;
  void SelectModeButton(TModeColumn column, int mode) override;
  void SetRememberChecked(bool checked) override;
  void SetAddressField(int value) override;
  void SetAddressLabel(const std::string& caption) override;
  void SetStatusText(int panel, const std::string& text) override;
  void UncheckBaudItems() override;
  void CheckBaudItem(int index) override;
  bool AskYesNo(const std::string& title, const std::string& message) override;
  void SetProgressVisible(bool visible) override;
  void SetProgressPosition(int position) override;
  void SetSearchCaption(const std::string& caption) override;
  void FocusMenuBar() override;

  // Layout: ScrollBox holds ClientArea (menu bar and TeGroupBox1); StatusBar1 sits below it.
  QScrollArea* ScrollBox = nullptr;
  QWidget* ClientArea = nullptr;

  TMenuBar* TeMenuBar1 = nullptr;
  QMenu* CustomItem1 = nullptr;  // "Connection"
  QMenu* PORT1 = nullptr;        // "Port"
  QMenu* CustomItem3 = nullptr;  // "BaudRate"
  QAction* BR_1200 = nullptr;
  QAction* BR_2400 = nullptr;
  QAction* BR_4800 = nullptr;
  QAction* BR_9600 = nullptr;
  QAction* BR_14400 = nullptr;
  QAction* BR_19200 = nullptr;
  QAction* BR_38400 = nullptr;
  QAction* BR_57600 = nullptr;
  QMenu* CustomItem2 = nullptr;    // "Search"
  QAction* CustomItem4 = nullptr;  // "Start" / "Stop"
  QMenu* CustomItem5 = nullptr;    // "Delay"
  QAction* CustomItem6 = nullptr;
  QAction* CustomItem7 = nullptr;
  QAction* CustomItem8 = nullptr;
  QAction* CustomItem9 = nullptr;
  QAction* CustomItem10 = nullptr;
  QAction* CustomItem11 = nullptr;

  TFlatGroupBox* TeGroupBox1 = nullptr;
  TFlatGroupBox* TeGroupBox2 = nullptr;
  TFlatGroupBox* TeGroupBox6 = nullptr;
  QLabel* TeLabel1 = nullptr;
  QLabel* TeLabel2 = nullptr;
  QLabel* TeLabel3 = nullptr;
  QLabel* TeLabel4 = nullptr;
  QLabel* TeLabel5 = nullptr;
  QLabel* TeLabel6 = nullptr;
  QLabel* TeLabel7 = nullptr;
  QLabel* TeLabel8 = nullptr;
  QLabel* TeLabel9 = nullptr;
  QLabel* TeLabel10 = nullptr;
  QLabel* TeLabel11 = nullptr;
  QLabel* TeLabel12 = nullptr;
  QLabel* TeLabel13 = nullptr;
  TCentredComboBox* TeSComboBox1 = nullptr;
  TSpinField* TeSpinEdit1 = nullptr;
  TSpinField* TeSpinEdit2 = nullptr;
  QPushButton* TeButton1 = nullptr;
  QPushButton* TeButton2 = nullptr;
  QPushButton* TeButton3 = nullptr;
  QPushButton* TeButton4 = nullptr;
  QRadioButton* A0_Button = nullptr;
  QRadioButton* A2_Button = nullptr;
  QRadioButton* A3_Button = nullptr;
  QRadioButton* A4_Button = nullptr;
  QRadioButton* A5_Button = nullptr;
  QRadioButton* A6_Button = nullptr;
  QRadioButton* A7_Button = nullptr;
  QRadioButton* A8_Button = nullptr;
  QRadioButton* A9_Button = nullptr;
  QRadioButton* A10_Button = nullptr;
  QRadioButton* B0_Button = nullptr;
  QRadioButton* B2_Button = nullptr;
  QRadioButton* B3_Button = nullptr;
  QRadioButton* B4_Button = nullptr;
  QRadioButton* B5_Button = nullptr;
  QRadioButton* B6_Button = nullptr;
  QRadioButton* B7_Button = nullptr;
  QRadioButton* B8_Button = nullptr;
  QRadioButton* B9_Button = nullptr;
  QRadioButton* B10_Button = nullptr;
  QCheckBox* TeCheckBox1 = nullptr;
  TTrafficLog* TeMemo1 = nullptr;
  TSegmentedProgressBar* TeProgressBar1 = nullptr;
  TStatusBar* StatusBar1 = nullptr;

  // The two radio columns of TeGroupBox6 (A: power-up, B: the "on" command).
  std::unique_ptr<TRadioColumn> ColumnA;
  std::unique_ptr<TRadioColumn> ColumnB;

  std::unique_ptr<TTimer> Timer_Rx;
  std::unique_ptr<TTimer> Timer_Programm;
  std::unique_ptr<TComPort> ComPort1;

  // The entries of the latest fill of the Port menu, in menu order (no limit on their number).
  std::vector<QAction*> PortItemTable;

  // The BaudRate items in BaudTable order, and the Delay items with their delays.
  std::array<QAction*, 8> BaudItems{};
  std::array<QAction*, 6> DelayItems{};

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Building the window from its definition (main_window_definition.cpp, main_window_menu.cpp).
  void BuildFrame();
  void BuildMenuBar();
  void BuildInterfaceGroup();
  void BuildModeGroup();
  void BuildCommandRow();
  void BuildStatusBar();
  void BuildComponents();
  void BindControlEvents();

  // Shared bodies of the item handlers.
  void BaudItemClick(int index);
  void DelayItemClick(int index);
  // Fits the window on a screen of the given height (FormCreate's first step).
  void FitToScreen();

  TScreenFit screen_;
  bool centred_ = false;
  bool activatedBefore_ = false;
  bool focusWentToOwnWindow_ = false;
};
