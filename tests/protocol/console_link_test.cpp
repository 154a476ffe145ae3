// The window binding is counted on the main thread and read by the serial monitor thread when it
// queues received bytes; run under ThreadSanitizer, this shows the two meet without a race.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "protocol/console_link.h"

namespace {

TEST(ConsoleBinding, ReadOnAnotherThreadWhileTheWindowIsBoundAndUnbound) {
  const unsigned first = ConsoleBinding();
  std::atomic<bool> stop{false};
  // What the monitor thread relies on: the count it reads is one the main thread has set, and
  // it never goes back (a queued closure compares it with the one it was queued under), and
  // once the main thread is done the reader sees the last binding.
  unsigned reads = 0;
  unsigned outOfRange = 0;
  unsigned backwards = 0;
  unsigned last = first;
  unsigned afterStop = 0;
  std::thread reader([&] {
    do {
      const unsigned seen = ConsoleBinding();
      if (seen - first > 2000) ++outOfRange;
      if (seen - first < last - first) ++backwards;
      last = seen;
      ++reads;
    } while (!stop.load());
    afterStop = ConsoleBinding();
  });
  for (int i = 0; i < 2000; ++i)
    BindConsole(nullptr);
  stop = true;
  reader.join();
  EXPECT_EQ(ConsoleBinding(), first + 2000);
  EXPECT_EQ(outOfRange, 0u) << "of " << reads << " reads";
  EXPECT_EQ(backwards, 0u) << "of " << reads << " reads";
  EXPECT_EQ(afterStop, first + 2000);
}

}  // namespace
