// Eventfds as wake-up signals between threads (Linux): one thread raises, another sleeps in a
// poll() that holds the descriptor and drains it before it looks again.
#pragma once

// A new eventfd, non-blocking and closed on exec; -1 with errno on failure.
int NewEventFd();
// Adds one to the counter, so that a poll() on it wakes. Returns 0, or the errno of the write.
int RaiseEventFd(int fd);
// Clears the counter; nothing when it was clear.
void DrainEventFd(int fd);
