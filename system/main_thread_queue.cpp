#include "system/main_thread_queue.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

enum class Waiting { Nobody, UntilTaken, UntilDone };

struct Item {
  std::function<void()> work;
  Waiting waiting = Waiting::Nobody;
  // Completion for the waiting modes; guarded by the queue mutex.
  bool taken = false;
  bool done = false;
  std::exception_ptr error;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable changed;  // an item was queued, taken or done, or WakeMainThreadQueue
  std::deque<std::shared_ptr<Item>> items;
  std::function<void()> wakeup;
  std::thread::id mainThread;
  bool mainThreadKnown = false;
};

Queue& TheQueue() {
  static Queue queue;
  return queue;
}

void RememberMainThreadLocked(Queue& q) {
  if (!q.mainThreadKnown) {
    q.mainThread = std::this_thread::get_id();
    q.mainThreadKnown = true;
  }
}

void Enqueue(const std::shared_ptr<Item>& item) {
  Queue& q = TheQueue();
  std::function<void()> wakeup;
  {
    std::lock_guard lock(q.mutex);
    q.items.push_back(item);
    wakeup = q.wakeup;
  }
  q.changed.notify_all();
  if (wakeup) wakeup();
}

// Runs one item on the main thread and reports its outcome to a waiting sender.
void RunItem(Queue& q, const std::shared_ptr<Item>& item) {
  if (item->waiting == Waiting::UntilTaken) {
    {
      std::lock_guard lock(q.mutex);
      item->taken = true;
    }
    q.changed.notify_all();
    item->work();
    return;
  }
  if (item->waiting == Waiting::Nobody) {
    item->work();
    return;
  }
  std::exception_ptr error;
  try {
    item->work();
  } catch (...) {
    error = std::current_exception();
  }
  {
    std::lock_guard lock(q.mutex);
    item->done = true;
    item->error = error;
  }
  q.changed.notify_all();
}

}  // namespace

void MarkMainThread() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.mainThread = std::this_thread::get_id();
  q.mainThreadKnown = true;
}

bool IsMainThread() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  RememberMainThreadLocked(q);
  return q.mainThread == std::this_thread::get_id();
}

void SetMainThreadWakeup(std::function<void()> wakeup) {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.wakeup = std::move(wakeup);
}

void PostToMainThread(std::function<void()> work) {
  auto item = std::make_shared<Item>();
  item->work = std::move(work);
  Enqueue(item);
}

namespace {

// Queues the work of another thread for the main thread and waits until the main thread has
// taken it or (UntilDone) finished it; an exception of the work is the caller's then.
void QueueAndWait(std::function<void()> work, Waiting waiting) {
  auto item = std::make_shared<Item>();
  item->work = std::move(work);
  item->waiting = waiting;
  Enqueue(item);
  Queue& q = TheQueue();
  std::unique_lock lock(q.mutex);
  q.changed.wait(lock, [&] { return waiting == Waiting::UntilDone ? item->done : item->taken; });
  if (item->error) std::rethrow_exception(item->error);
}

}  // namespace

void RunOnMainThread(std::function<void()> work) {
  if (IsMainThread()) {
    work();
    return;
  }
  QueueAndWait(std::move(work), Waiting::UntilDone);
}

void SendToMainThread(std::function<void()> work) {
  if (IsMainThread()) {
    work();
    return;
  }
  QueueAndWait(std::move(work), Waiting::UntilTaken);
}

void DrainMainThreadQueue() {
  Queue& q = TheQueue();
  for (;;) {
    std::shared_ptr<Item> item;
    std::function<void()> wakeup;
    {
      std::lock_guard lock(q.mutex);
      RememberMainThreadLocked(q);
      if (q.items.empty()) return;
      item = q.items.front();
      q.items.pop_front();
      if (!q.items.empty()) wakeup = q.wakeup;
    }
    try {
      RunItem(q, item);
    } catch (...) {
      // The rest of the queue still has to run; ask for another drain before reporting.
      if (wakeup) wakeup();
      throw;
    }
  }
}

void ServeMainThreadQueueUntil(const std::function<bool()>& finished) {
  Queue& q = TheQueue();
  std::unique_lock lock(q.mutex);
  RememberMainThreadLocked(q);
  for (;;) {
    // finished() is evaluated under the queue mutex, which the thread that makes it true takes in
    // WakeMainThreadQueue, so the wake-up cannot be missed.
    if (finished()) return;
    auto waiting = q.items.end();
    for (auto it = q.items.begin(); it != q.items.end(); ++it) {
      if ((*it)->waiting != Waiting::Nobody) {
        waiting = it;
        break;
      }
    }
    if (waiting == q.items.end()) {
      q.changed.wait(lock);
      continue;
    }
    std::shared_ptr<Item> item = *waiting;
    q.items.erase(waiting);
    lock.unlock();
    try {
      RunItem(q, item);
    } catch (...) {
      // Work sent without waiting for its end reports its failure like any main-thread event;
      // here the close is still in progress, so the failure is dropped rather than abandoning it.
    }
    lock.lock();
  }
}

void WakeMainThreadQueue() {
  Queue& q = TheQueue();
  { std::lock_guard lock(q.mutex); }
  q.changed.notify_all();
}

int PendingMainThreadWork() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  return static_cast<int>(q.items.size());
}
