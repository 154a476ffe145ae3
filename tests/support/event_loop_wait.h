// Waiting inside the event loop with a deadline, and answering a modal box the way an operator
// would: a timer of the event loop that the box runs finds the active modal widget and hands it
// to the test, which inspects and closes it.
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>

// Runs the event loop until ready() is true or the timeout has passed; returns ready().
bool WaitWithEvents(const std::function<bool()>& ready,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs answer(box) on the next modal widget that becomes active within timeout. Returns at once.
void AnswerNextModal(std::function<void(QWidget* box)> answer,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
