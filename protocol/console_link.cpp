#include "protocol/console_link.h"

#include <stdexcept>

namespace {
TConsoleLink* boundConsole = nullptr;
unsigned binding = 0;
}  // namespace

void BindConsole(TConsoleLink* console) {
  boundConsole = console;
  ++binding;
}

unsigned ConsoleBinding() {
  return binding;
}

TConsoleLink& Console() {
  if (boundConsole == nullptr) throw std::logic_error("no main window is bound to the protocol");
  return *boundConsole;
}
