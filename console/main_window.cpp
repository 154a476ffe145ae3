#include "console/main_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "console/application.h"
#include "console/window_frame.h"

namespace {
constexpr Qt::WindowFlags kFixedWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
}  // namespace

TScreenFit TScreenFit::PrimaryScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  // Platforms without a window system draw no frame at all.
  const QString platform = QGuiApplication::platformName();
  const bool framed =
      platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
  return {screen ? screen->geometry().height() : 768, framed ? TitledFrameHeight() : 0};
}

TForm1::TForm1(const TScreenFit& screen) : QWidget(nullptr, kFixedWindowFlags), screen_(screen) {
  setWindowTitle(QStringLiteral("ТАРВИ-А (MODBUS-RTU)   V1.00"));
  BuildFrame();
  BuildMenuBar();
  BuildInterfaceGroup();
  BuildModeGroup();
  BuildCommandRow();
  BuildStatusBar();
  BuildComponents();
  BindControlEvents();
  BindConsole(this);
  FormCreate();
}

TForm1::~TForm1() {
  // No handler may run on a window being taken apart (a field losing the focus, a timer).
  TeSpinEdit1->OnChange = nullptr;
  TeSpinEdit1->OnKeyPress = nullptr;
  TeMenuBar1->OnMouseDown = nullptr;
  ColumnA->OnSelect = nullptr;
  ColumnB->OnSelect = nullptr;
  Timer_Rx->SetEnabled(false);
  Timer_Programm->SetEnabled(false);
  // The port goes first: closing it ends its monitor thread, which may still be reading for the
  // protocol of this window.
  ComPort1.reset();
  BindConsole(nullptr);
}

void TForm1::showEvent(QShowEvent* event) {
  if (!centred_ && !event->spontaneous()) {
    centred_ = true;
    if (const QScreen* shown = screen()) {
      const QRect area = shown->availableGeometry();
      const QSize outer(width(), height() + screen_.frameHeight);
      move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
    }
  }
  QWidget::showEvent(event);
}

bool TForm1::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::WindowActivate:
      // First activation, or the focus coming back from another window of the program (a message
      // box); not the return from another application.
      if (!activatedBefore_ || focusWentToOwnWindow_) {
        activatedBefore_ = true;
        focusWentToOwnWindow_ = false;
        RunGuarded([this] { FormActivate(); });
      }
      break;
    case QEvent::WindowDeactivate: {
      // The application has already made the window taking over active when this arrives.
      const QWidget* next = QApplication::activeWindow();
      focusWentToOwnWindow_ = next != nullptr && next != this;
      break;
    }
    default:
      break;
  }
  return QWidget::event(event);
}

void TForm1::FormActivate() {
  FocusMenuBar();
}
