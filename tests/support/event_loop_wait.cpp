#include "tests/support/event_loop_wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <memory>

#include "tests/support/wait_until.h"

bool WaitWithEvents(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
  return WaitUntil(ready, timeout, [] { QTest::qWait(2); });
}

void AnswerNextModal(std::function<void(QWidget* box)> answer, std::chrono::milliseconds timeout) {
  auto* poll = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(poll, &QTimer::timeout, [poll, clock, answer = std::move(answer), timeout] {
    QWidget* box = QApplication::activeModalWidget();
    if (box == nullptr && clock->elapsed() < timeout.count()) return;
    poll->stop();
    poll->deleteLater();
    if (box != nullptr) answer(box);
  });
  poll->start(10);
}
