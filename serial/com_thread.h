// TComThread: the monitor of one opening of a port. It sleeps in one wait on the port and its
// stop signal, and delivers each set of port events to the component's handlers: on the main
// thread and waiting for them (smThreadSync), on the main thread one event at a time without
// waiting (smWindowSync), or on its own thread (smNone).
//
// Created and destroyed on the main thread by the component. Destruction stops the thread and
// waits for its end, so the owner first serves the main-thread queue until Finished() (see
// TCustomComPort::ClosePort) when handlers may be waiting for the main thread. A handler on the
// monitor thread that closes the port cannot wait for its own thread: the owner then hands the
// object to the thread (Abandon), which ends after that handler and frees it. An exception raised
// while handling ends the thread silently; it is kept, not reported. A port that has gone (hang-up)
// also ends the thread instead of waking it again and again.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "serial/com_types.h"
#include "system/stop_signal.h"

class TCustomComPort;

class TComThread {
 public:
  // Creates the stop signal and sets the port's event mask from the owner's Events. Throws
  // std::system_error when either fails, with nothing left behind.
  explicit TComThread(TCustomComPort& owner);
  // Stop(), then waits until the thread has ended (if it was started).
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  // Starts the thread; the owner calls it once it holds this object, so that everything the
  // owner set before is seen by handlers on the monitor thread. Throws std::system_error when
  // the thread cannot be created (the event mask is then released).
  void Start();
  // Raises the stop signal (seen at the next wait if the thread is busy). The caller then gives
  // the processor up by waiting for the thread's end.
  void Stop();
  // Monitor thread only, called by a handler that closes the port: stops the thread after the
  // running handler returns, without touching the port again, and has the thread delete this
  // object. The caller gives up its ownership.
  void Abandon();
  // True once the run loop has been left; the main-thread queue is woken at that moment.
  bool Finished() const { return finished_.load(); }
  // The exception that ended the thread, if one did; valid once Finished().
  std::exception_ptr Error() const { return error_; }
  std::thread::id Id() const { return thread_.get_id(); }
  // True on the monitor thread of this object (reads nothing the other thread writes).
  bool IsCurrentThread() const;

 private:
  void Execute();
  void Dispatch(TComEvents events);

  TCustomComPort& owner_;
  TStopSignal stop_;   // the manual-reset stop signal
  TComEvents events_;  // the set of the latest completed wait (monitor thread only)
  std::exception_ptr error_;
  std::atomic<bool> finished_{false};
  bool abandoned_ = false;  // set and read on the monitor thread only
  std::mutex threadMutex_;  // orders the storing of thread_ before an abandoned thread's detach
  std::thread thread_;
};

// Runs the handling of one event on the calling thread: the query the event needs (EComPort 10
// or 11 on failure), then its handler if one is assigned.
void HandleComEvent(TCustomComPort& port, TComEvent event);
// The order in which the events of one set are handled.
inline constexpr TComEvent kComEventHandlingOrder[] = {
    evError, evRxChar, evTxEmpty, evBreak, evRing, evCTS, evDSR, evRxFlag, evRLSD, evRx80Full};
