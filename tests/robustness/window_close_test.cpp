// Closing the window at awkward moments, in process: the window is taken apart while an exchange
// waits for its reply, while a search runs, and while the yes/no question is open. Taking it apart
// must end at once; nothing of the old window may run afterwards, and a new window on the same
// line works.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>

#include "protocol/link_state.h"
#include "tests/support/event_loop_wait.h"
#include "tests/robustness/faulty_line.h"

namespace {

using namespace std::chrono_literals;

class ClosingTheWindow : public FaultyLine {
 protected:
  // Takes the window apart as the end of the program does; returns how long that took.
  std::chrono::milliseconds CloseWindow() {
    QElapsedTimer clock;
    clock.start();
    form.reset();
    return std::chrono::milliseconds(clock.elapsed());
  }
  // A new window on the same line, at the device's rate.
  void OpenNewWindow() {
    form = std::make_unique<TForm1>();
    form->ComPort1->SetPort(link);
    form->show();
    form->BR_57600->trigger();
    LinkState.BaudIndex = 7;
  }
};

TEST_F(ClosingTheWindow, DuringAnExchangeEndsAtOnce) {
  sim::TVirtualDevice& device = AddFastDevice();
  device.SetFaults({.splitBefore = {5}, .splitGap = 300ms, .count = 1});
  QueryParameters();
  // The monitor is in the middle of reading the reply.
  ASSERT_TRUE(WaitWithEvents([&] { return bus->BytesSent() >= 5; }, 5s));
  Pump(20ms);
  const auto took = CloseWindow();
  RecordProperty("close_ms", std::to_string(took.count()));
  EXPECT_LT(took, 500ms);
  // The rest of the reply and the old window's posted work have nowhere to go.
  ASSERT_TRUE(WaitForQuietLine());
  Pump(100ms);
  OpenNewWindow();
  EXPECT_TRUE(CleanQueryWorks(device));
}

TEST_F(ClosingTheWindow, DuringASearchEndsAtOnce) {
  sim::TVirtualDevice& device = AddFastDevice();
  form->CustomItem4->trigger();  // Search > Start: nobody answers at 1, 2, ...
  ASSERT_TRUE(WaitWithEvents([&] { return device.RequestCount() >= 2; }, 5s));
  ASSERT_EQ(LinkState.SearchState, kSearchRunning);
  const auto took = CloseWindow();
  RecordProperty("close_ms", std::to_string(took.count()));
  EXPECT_LT(took, 500ms);
  const std::size_t probes = device.RequestCount();
  Pump(400ms);
  EXPECT_EQ(device.RequestCount(), probes) << "no probe after the window has gone";
  ResetLinkState();  // as a new start of the program would find it
  OpenNewWindow();
  EXPECT_TRUE(CleanQueryWorks(device));
}

TEST_F(ClosingTheWindow, WhileTheQuestionIsOpenEndsAtOnce) {
  sim::TVirtualDevice& device = AddFastDevice();
  bool asked = false;
  std::chrono::milliseconds took{-1};
  AnswerNextModal([&](QWidget* box) {
    asked = qobject_cast<QMessageBox*>(box) != nullptr;
    took = CloseWindow();
  });
  form->TeSComboBox1->setCurrentIndex(7);  // "57600": the device echoes and the question comes
  ASSERT_TRUE(WaitWithEvents([&] { return form == nullptr; }, 5s));
  EXPECT_TRUE(asked);
  RecordProperty("close_ms", std::to_string(took.count()));
  EXPECT_GE(took.count(), 0);
  EXPECT_LT(took, 500ms);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the question went with its window";
  Pump(100ms);
  ResetLinkState();
  OpenNewWindow();
  EXPECT_TRUE(CleanQueryWorks(device));
}

}  // namespace
