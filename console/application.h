// The application object, and the one way a failure of an event handler reaches the operator:
// a modal error box with a stop icon, an OK button and the exception's message, after which the
// program goes on with the next event. Nothing is undone or logged.
//
// Every binding of a control, timer or queued call to a handler runs it through RunGuarded, so an
// exception never unwinds through the toolkit's own frames; notify() is the net for whatever
// escapes an event override all the same. Main thread only.
#pragma once

#include <QApplication>
#include <QString>
#include <functional>

class TTarviApplication : public QApplication {
 public:
  TTarviApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Shows the modal error box and returns when the operator has closed it.
void ShowErrorBox(const QString& message);

// Runs handler; an exception leaving it is shown in the error box and goes no further.
void RunGuarded(const std::function<void()>& handler);
