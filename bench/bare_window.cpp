// A bare main window, built like the program (same compiler, flags and Qt): the yardstick for the
// program's memory and start-up time. It shows one empty QMainWindow and waits.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("bare"));
  window.resize(434, 566);
  window.show();
  return QApplication::exec();
}
