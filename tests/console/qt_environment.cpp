// The application object of the program, created once for the whole test program before the
// first test, with the program's look and the main-thread queue connected to its event loop.
#include <gtest/gtest.h>

#include <memory>

#include "console/application.h"
#include "console/console_look.h"
#include "console/program_start.h"

namespace {
int argumentCount = 1;
char programName[] = "console-test";
char* arguments[] = {programName, nullptr};

class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    application_ = std::make_unique<TTarviApplication>(argumentCount, arguments);
    ApplyConsoleLook(*application_);
    ConnectMainThreadQueue();
  }
  void TearDown() override {
    DisconnectMainThreadQueue();
    application_.reset();
  }

 private:
  std::unique_ptr<TTarviApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);
}  // namespace
