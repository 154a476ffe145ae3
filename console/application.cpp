#include "console/application.h"

#include <QMessageBox>
#include <QPointer>
#include <exception>

namespace {
// Shows the exception in flight; called from a catch block.
void ShowCurrentException() {
  try {
    throw;
  } catch (const std::exception& failure) {
    ShowErrorBox(QString::fromUtf8(failure.what()));
  } catch (...) {
    ShowErrorBox(QStringLiteral("Unknown exception."));
  }
}
}  // namespace

TTarviApplication::TTarviApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TTarviApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowCurrentException();
    return false;
  }
}

void ShowErrorBox(const QString& message) {
  const QPointer<QWidget> active = QApplication::activeWindow();
  QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), message,
                  QMessageBox::Ok);
  box.exec();
  // Hand the focus back to the window that had it, where the window system leaves that to us.
  if (QWidget* window = active.data(); window != nullptr && window->isVisible()) {
    window->activateWindow();
  }
}

void RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    ShowCurrentException();
  }
}
