#include "protocol/console_link.h"

#include <atomic>
#include <stdexcept>

namespace {
TConsoleLink* boundConsole = nullptr;
// Read by the serial monitor thread when it queues received bytes; written on the main thread.
std::atomic<unsigned> binding{0};
}  // namespace

void BindConsole(TConsoleLink* console) {
  boundConsole = console;
  ++binding;
}

unsigned ConsoleBinding() {
  return binding.load();
}

TConsoleLink& Console() {
  if (boundConsole == nullptr) throw std::logic_error("no main window is bound to the protocol");
  return *boundConsole;
}
