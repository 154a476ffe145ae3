// Work handed from other threads to the main (window) thread.
//
// The serial monitor thread never touches window state itself: it queues a closure here and the
// main thread runs it. The program's event loop drains the queue when the wake-up hook fires; a
// main thread that blocks waiting for another thread (ClosePort waiting for the monitor to end)
// keeps serving the calls that other thread is itself waiting on, so neither side can deadlock.
// Every hand-over goes through one std::mutex, which also orders the data a closure carries.
#pragma once

#include <functional>

// Marks the calling thread as the main thread. The first thread to use the queue is taken as the
// main thread when nobody marked one.
void MarkMainThread();
bool IsMainThread();

// Installs the hook that asks the main thread's event loop to call DrainMainThreadQueue() soon.
// It is called from any thread, once per queued item; an empty hook leaves draining to the
// caller (tests without an event loop).
void SetMainThreadWakeup(std::function<void()> wakeup);

// Queues work for the main thread and returns at once. Work posted this way runs only from
// DrainMainThreadQueue, never while the main thread waits in ServeMainThreadQueueUntil, so it
// cannot interleave with main-thread code that is in the middle of a step.
void PostToMainThread(std::function<void()> work);

// Runs work on the main thread and returns when it has finished; an exception it throws is
// rethrown here. On the main thread itself the work runs directly.
void RunOnMainThread(std::function<void()> work);

// Queues work for the main thread and returns as soon as the main thread has taken it up (before
// the work runs). Exceptions of the work stay on the main thread.
void SendToMainThread(std::function<void()> work);

// Main thread: runs everything queued so far. An exception from posted or sent work leaves
// here after the wake-up hook has been asked to come back for the rest.
void DrainMainThreadQueue();

// Main thread: blocks until finished() is true, meanwhile running the work of RunOnMainThread and
// SendToMainThread (not posted work). Whoever makes finished() true calls WakeMainThreadQueue().
void ServeMainThreadQueueUntil(const std::function<bool()>& finished);
void WakeMainThreadQueue();

// Number of items waiting; for tests.
int PendingMainThreadWork();
