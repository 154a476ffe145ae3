#include "protocol/console_link.h"

#include <stdexcept>

namespace {
TConsoleLink* boundConsole = nullptr;
}

void BindConsole(TConsoleLink* console) { boundConsole = console; }

TConsoleLink& Console() {
  if (boundConsole == nullptr) throw std::logic_error("no main window is bound to the protocol");
  return *boundConsole;
}
