// An exception escaping an event handler is shown in a modal error box (stop icon, OK, the
// message) and the program goes on with the next event.
#include <gtest/gtest.h>

#include <ostream>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QRadioButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <stdexcept>

#include "console/mode_radio_column.h"
#include "console/ttimer.h"
#include "tests/support/event_loop_wait.h"
#include "tests/support/case_name.h"

namespace {

// An object whose event handler fails on every user event.
class TFailingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("handler failed: event");
    return QObject::event(event);
  }
};

// An object that counts the user events it receives.
class TCountingObject : public QObject {
 public:
  int received = 0;
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) ++received;
    return QObject::event(event);
  }
};

struct TSeenBox {
  bool seen = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QString text;
};

// Everything a trigger needs to keep alive while the box is open.
struct TTriggerRig {
  std::unique_ptr<TFailingObject> failing;
  std::unique_ptr<TTimer> timer;
  std::unique_ptr<QWidget> panel;
  std::unique_ptr<TRadioColumn> column;
};

struct ErrorBoxCase {
  std::string name;
  std::function<void(TTriggerRig&)> trigger;
  QString message;
};

// Rows print as their names.
void PrintTo(const ErrorBoxCase& row, std::ostream* out) {
  *out << row.name;
}

class ErrorBoxTest : public ::testing::TestWithParam<ErrorBoxCase> {};

TEST_P(ErrorBoxTest, ShowsTheMessageInAStopBoxAndGoesOn) {
  TSeenBox seen;
  AnswerNextModal([&seen](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box == nullptr) return;
    seen.seen = true;
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  TTriggerRig rig;
  GetParam().trigger(rig);
  ASSERT_TRUE(WaitWithEvents([&] { return seen.seen; }));
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(seen.text, GetParam().message);
  if (rig.timer) rig.timer->SetEnabled(false);

  // The box is gone and the next events are handled as usual.
  ASSERT_TRUE(WaitWithEvents([] { return QApplication::activeModalWidget() == nullptr; }));
  TCountingObject next;
  QCoreApplication::postEvent(&next, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&next, new QEvent(QEvent::User));
  EXPECT_TRUE(WaitWithEvents([&] { return next.received == 2; }));
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, ErrorBoxTest,
    ::testing::Values(ErrorBoxCase{"EventOverride",
                                   [](TTriggerRig& rig) {
                                     rig.failing = std::make_unique<TFailingObject>();
                                     QCoreApplication::postEvent(rig.failing.get(),
                                                                 new QEvent(QEvent::User));
                                   },
                                   "handler failed: event"},
                      ErrorBoxCase{"TimerHandler",
                                   [](TTriggerRig& rig) {
                                     rig.timer = std::make_unique<TTimer>(5);
                                     rig.timer->OnTimer = [timer = rig.timer.get()] {
                                       timer->SetEnabled(false);
                                       throw std::runtime_error("Ошибка таймера");
                                     };
                                     rig.timer->SetEnabled(true);
                                   },
                                   QString::fromUtf8("Ошибка таймера")},
                      ErrorBoxCase{"RadioHandler",
                                   [](TTriggerRig& rig) {
                                     rig.panel = std::make_unique<QWidget>();
                                     rig.column = std::make_unique<TRadioColumn>(rig.panel.get());
                                     rig.column->Add(3, new QRadioButton(rig.panel.get()));
                                     rig.column->OnSelect = [](int) {
                                       throw std::logic_error("radio failed");
                                     };
                                     rig.column->Select(3);
                                   },
                                   "radio failed"}),
    CaseName{});

}  // namespace
