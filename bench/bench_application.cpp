#include "bench/bench_application.h"

#include <stdlib.h>

#include "console/application.h"
#include "console/console_look.h"
#include "console/program_start.h"

TBenchApplication::TBenchApplication(int& argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
  application_ = std::make_unique<TTarviApplication>(argc, argv);
  ApplyConsoleLook(*application_);
  ConnectMainThreadQueue();
}

TBenchApplication::~TBenchApplication() {
  DisconnectMainThreadQueue();
}
