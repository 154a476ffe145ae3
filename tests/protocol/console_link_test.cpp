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
  unsigned reads = 0;
  std::thread reader([&] {
    do {
      if (ConsoleBinding() - first <= 2000) ++reads;
    } while (!stop.load());
  });
  for (int i = 0; i < 2000; ++i)
    BindConsole(nullptr);
  stop = true;
  reader.join();
  EXPECT_EQ(ConsoleBinding(), first + 2000);
  EXPECT_GT(reads, 0u);
}

}  // namespace
