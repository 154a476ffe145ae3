#include "serial/com_thread.h"

#include <memory>
#include <system_error>

#include "serial/com_port.h"
#include "serial/main_thread_queue.h"
#include "serial/notification_window.h"
#include "serial/serial_device.h"

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
  try {
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

void TComThread::Execute() {
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
    }
  } catch (...) {
    error_ = std::current_exception();
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
