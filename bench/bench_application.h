// The program's application object for a benchmark that drives the real main window in-process:
// the program's look, and the main-thread queue served by the event loop, as at program start.
// The window is offscreen unless QT_QPA_PLATFORM names another platform. Main thread only.
#pragma once

#include <memory>

class TTarviApplication;

class TBenchApplication {
 public:
  TBenchApplication(int& argc, char** argv);
  ~TBenchApplication();
  TBenchApplication(const TBenchApplication&) = delete;
  TBenchApplication& operator=(const TBenchApplication&) = delete;

 private:
  std::unique_ptr<TTarviApplication> application_;
};
