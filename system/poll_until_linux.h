// poll() against a deadline, for the Linux device layers (the serial port and the network line).
#pragma once

#include <poll.h>

#include <chrono>
#include <optional>

using PollDeadline = std::optional<std::chrono::steady_clock::time_point>;

// Milliseconds until the deadline for poll(), rounded up so that a wake-up is never early; -1
// without a deadline.
int PollTimeout(const PollDeadline& deadline);

// poll() until something is ready or the deadline passes (returns 0); EINTR restarts it with the
// time still left. Returns -1 with errno on failure.
int PollUntil(pollfd* fds, nfds_t count, const PollDeadline& deadline);
