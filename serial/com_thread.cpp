#include "serial/com_thread.h"

#include <memory>
#include <system_error>

#include "serial/com_port.h"
#include "serial/notification_window.h"
#include "serial/serial_device.h"
#include "system/main_thread_queue.h"

namespace {
// The monitor whose loop runs on this thread, if any.
thread_local const TComThread* currentMonitor = nullptr;
}  // namespace

void HandleComEvent(TCustomComPort& port, TComEvent event) {
  switch (event) {
    case evError: {
      const TComErrors errors = port.QueryErrors();
      if (!errors.Empty()) port.DoError(errors);
      break;
    }
    case evRxChar: {
      const int count = port.InputQueueCount();
      if (count > 0) port.DoRxChar(count);
      break;
    }
    case evTxEmpty:
      port.DoTxEmpty();
      break;
    case evBreak:
      port.DoBreak();
      break;
    case evRing:
      port.DoRing();
      break;
    case evCTS:
      port.DoCTSChange(port.QueryModemSignals().cts);
      break;
    case evDSR:
      port.DoDSRChange(port.QueryModemSignals().dsr);
      break;
    case evRxFlag:
      port.DoRxFlag();
      break;
    case evRLSD:
      port.DoRLSDChange(port.QueryModemSignals().rlsd);
      break;
    case evRx80Full:
      port.DoRx80Full();
      break;
  }
}

TComThread::TComThread(TCustomComPort& owner) : owner_(owner) {
  const int error = owner_.device_->BeginMonitoring(owner_.events_);
  if (error != 0) throw std::system_error(error, std::generic_category(), "port event mask");
}

void TComThread::Start() {
  try {
    // Held while the handle is stored, so that an abandoned monitor sees it when it detaches.
    std::lock_guard lock(threadMutex_);
    thread_ = std::thread([this] { Execute(); });
  } catch (...) {
    owner_.device_->EndMonitoring();
    throw;
  }
}

TComThread::~TComThread() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

void TComThread::Stop() {
  stop_.Raise();
  // No sched_yield here: every caller blocks next until the monitor has ended (ClosePort in
  // ServeMainThreadQueueUntil, the destructor in join), which hands the processor over anyway.
  // On Linux a yield puts the caller behind every runnable task, so with both cores busy a close
  // (which stops twice) waited out another task's time slice: 0.7-0.9 ms instead of 0.1 ms.
}

void TComThread::Abandon() {
  abandoned_ = true;
  Stop();
}

bool TComThread::IsCurrentThread() const {
  return currentMonitor == this;
}

void TComThread::Execute() {
  currentMonitor = this;
  TSerialDevice& device = *owner_.device_;
  try {
    for (;;) {
      TComEvents events;
      int error = 0;
      // Stopped, or a failed wait (the port has gone): leave. Waiting again after a failure that
      // repeats at once would only spin.
      if (device.WaitForEvents(stop_, events, error) != TWaitOutcome::Events) break;
      events_ = events;
      Dispatch(events);
      if (abandoned_) break;
    }
  } catch (...) {
    error_ = std::current_exception();
  }
  if (abandoned_) {
    // A handler closed the port from this thread. The component has already released the device
    // (and may have opened it again with a new monitor, or be gone): touch none of it, and free
    // this object, which nobody else owns any more.
    {
      std::lock_guard lock(threadMutex_);
      thread_.detach();
    }
    delete this;
    return;
  }
  device.EndMonitoring();
  device.DiscardQueues();
  finished_.store(true);
  WakeMainThreadQueue();
}

void TComThread::Dispatch(TComEvents events) {
  switch (owner_.syncMethod_) {
    case smNone:
      for (TComEvent event : kComEventHandlingOrder) {
        if (abandoned_) break;  // a handler closed the port: the rest has no port to act on
        if (events.Has(event)) HandleComEvent(owner_, event);
      }
      break;
    case smThreadSync:
      // The handling runs on the main thread; its exception comes back here and ends the monitor.
      RunOnMainThread([this, events] {
        for (TComEvent event : kComEventHandlingOrder) {
          if (events.Has(event)) HandleComEvent(owner_, event);
        }
      });
      break;
    case smWindowSync: {
      // One hand-over per event; each returns once the main thread has taken it, and the main
      // thread handles it only while this opening is still live. Exceptions stay there.
      std::shared_ptr<TNotificationWindow> window = owner_.window_;
      TCustomComPort* port = &owner_;
      for (TComEvent event : kComEventHandlingOrder) {
        if (!events.Has(event)) continue;
        SendToMainThread([window, port, event] {
          if (window->IsOpen() && port->Connected()) HandleComEvent(*port, event);
        });
      }
      break;
    }
  }
}
