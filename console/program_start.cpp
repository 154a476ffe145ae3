#include "console/program_start.h"

#include <QMetaObject>
#include <cstdio>

#include "console/application.h"
#include "console/console_look.h"
#include "console/display_check.h"
#include "console/main_window.h"
#include "network/network_line.h"
#include "serial/com_exception.h"
#include "system/main_thread_queue.h"
#include "system/message_catalogue.h"

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
  if (const std::string reason = MissingDisplayReason(); !reason.empty()) {
    std::fprintf(stderr, "tarvi: %s.\n", reason.c_str());
    return 1;
  }
  SetUpMessageCatalogues(ProgramDirectory());
  BuildComMessageTable();
  RegisterNetworkLines();

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
