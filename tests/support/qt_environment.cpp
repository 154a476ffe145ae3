// The application object of the program, created once for the whole test program before the
// first test, with the program's look and the main-thread queue connected to its event loop.
//
// The machine's own ports must not leak into the tests: the system list is a tree of the tests'
// own holding one port, COM1 (which does not exist under /dev, so opening it fails), and the
// working folder is an empty one, so there is no "comports.txt". Tests that need other lists
// change the tree and the folder through TestPortList().
#include <gtest/gtest.h>

#include <stdlib.h>

#include <memory>

#include "console/application.h"
#include "console/console_look.h"
#include "console/program_start.h"
#include "network/network_line.h"
#include "tests/support/qt_environment.h"

namespace {
int argumentCount = 1;
char programName[] = "console-test";
char* arguments[] = {programName, nullptr};

class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    TestPortList().sysfs.AddPort("COM1");
    setenv("SYSFS_PATH", TestPortList().sysfs.Root().c_str(), 1);
    TestPortList().folder.Enter();
    application_ = std::make_unique<TTarviApplication>(argumentCount, arguments);
    ApplyConsoleLook(*application_);
    ConnectMainThreadQueue();
    RegisterNetworkLines();  // as the program does at its start
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

TTestPortList& TestPortList() {
  static TTestPortList list;
  return list;
}
