// A real main window for a test, created on a screen tall enough for its full size, with the
// exchange state put back to its program-start values before and after.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "console/main_window.h"
#include "protocol/link_state.h"

class FormTest : public ::testing::Test {
 protected:
  static constexpr TScreenFit kTallScreen{1080, 30};

  void SetUp() override {
    ResetLinkState();
    form = std::make_unique<TForm1>(kTallScreen);
  }
  void TearDown() override {
    form.reset();
    ResetLinkState();
  }

  // Shows the window and waits until it is active.
  bool ShowActive();

  std::unique_ptr<TForm1> form;
};
