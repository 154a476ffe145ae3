#include "system/poll_until_linux.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

int PollTimeout(const PollDeadline& deadline) {
  using Clock = std::chrono::steady_clock;
  if (!deadline) return -1;
  const auto left = *deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<std::int64_t>(ms, 1 << 30));
}

int PollUntil(pollfd* fds, nfds_t count, const PollDeadline& deadline) {
  for (;;) {
    const int r = poll(fds, count, PollTimeout(deadline));
    if (r >= 0 || errno != EINTR) return r;
  }
}
