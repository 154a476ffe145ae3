#include <windows.h>

#include <system_error>

#include "system/stop_signal.h"

TStopSignal::TStopSignal()
    : native_(reinterpret_cast<std::intptr_t>(CreateEventA(nullptr, TRUE, FALSE, nullptr))) {
  if (native_ == 0) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateEvent");
  }
}

TStopSignal::~TStopSignal() {
  CloseHandle(reinterpret_cast<HANDLE>(native_));
}

void TStopSignal::Raise() {
  SetEvent(reinterpret_cast<HANDLE>(native_));
}
