// The port list every window of a test program sees: a system list of its own and an empty
// working folder for "comports.txt". Both live for the whole test program.
#pragma once

#include "tests/support/fake_sysfs.h"

struct TTestPortList {
  TFakeSysfs sysfs;
  TScratchFolder folder;
};

TTestPortList& TestPortList();
