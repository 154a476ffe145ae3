#include "console/program_start.h"

#include <QMetaObject>

#include "console/application.h"
#include "console/console_look.h"
#include "console/main_window.h"
#include "serial/com_exception.h"
#include "serial/main_thread_queue.h"
#include "serial/message_catalogue.h"

void ConnectMainThreadQueue() {
  MarkMainThread();
  // Called from any thread; a queued call on the application object is safe from any thread.
  SetMainThreadWakeup([] {
    QMetaObject::invokeMethod(
        qApp, [] { RunGuarded(DrainMainThreadQueue); }, Qt::QueuedConnection);
  });
}

void DisconnectMainThreadQueue() {
  SetMainThreadWakeup({});
}

int RunProgram(int argc, char** argv) {
  SetUpMessageCatalogues(ProgramDirectory());
  BuildComMessageTable();

  TTarviApplication application(argc, argv);
  ApplyConsoleLook(application);
  ConnectMainThreadQueue();
  int exitCode = 0;
  {
    TForm1 form;
    form.show();
    exitCode = TTarviApplication::exec();
  }
  DisconnectMainThreadQueue();
  return exitCode;
}
