// The system's side of a network line: a connected TCP socket that never blocks, four wake-up
// signals between the line's threads, and one wait over the socket, a signal and the abort (or
// the monitor's stop). network_line.cpp holds the whole flow of the line on top of it; the
// network_socket_<os>.cpp files hold only the socket and wait calls of their system.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "network/network_port_name.h"

class TStopSignal;

namespace network {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;  // none: no time limit

inline Deadline AfterMs(std::uint64_t ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}

// The error codes a line reports, in the system's own numbers (errno on Linux, GetLastError and
// WSAGetLastError values on Windows).
struct TLineErrors {
  int busy;                 // Open on an open line
  int invalidName;          // a malformed network name
  int notOpen;              // a call on a closed line
  int timedOut;             // a connect, a send or an awaited answer that took too long
  int aborted;              // a transfer ended by AbortTransfers
  int optionRefused;        // the server refuses the COM-port option
  int optionUnanswered;     // the server never answers the COM-port option
  int rateRefused;          // the server set another rate than asked for
  int closed;               // the server closed the connection (as an adapter pulled out)
  std::array<int, 3> gone;  // send errors of a connection that has ended
};
extern const TLineErrors kLineErrors;

// The wake-up signals: each raised by one thread, cleared by the one that sleeps on it before it
// looks at what it waits for, so that a raise after the look wakes the wait.
enum class TSignal {
  Abort,   // raised by AbortTransfers and left raised until Close
  Data,    // a pump added data: wakes a Read
  Kick,    // another thread added data, or a write is done: wakes the monitor
  Answer,  // a pump took anything from the server: wakes a wait for answers
};

enum class TWoken { Readable, Signalled, Aborted, Stopped, TimedOut, Failed };

// What a non-blocking receive found: bytes, nothing more for now (0, no error), the server's
// close (closed) or the connection's error.
struct TReceived {
  std::size_t count = 0;
  bool closed = false;
  int error = 0;
};

class TLineSocket {
 public:
  TLineSocket();
  ~TLineSocket();  // closes
  TLineSocket(const TLineSocket&) = delete;
  TLineSocket& operator=(const TLineSocket&) = delete;

  // Resolves the host, connects to its first address that answers before the deadline, with
  // requests sent at once (no Nagle), and makes the signals. Returns 0, or the error code with
  // nothing left open.
  int Connect(const TNetworkPortName& name, const Deadline& deadline);
  void Close();
  bool IsOpen() const;

  TReceived Receive(std::uint8_t* buffer, std::size_t size);
  // Sends every byte or fails: the abort (aborted) and the deadline (timedOut) end it, with
  // the bytes sent so far in sent. One caller at a time.
  int SendAll(const std::uint8_t* bytes, std::size_t count, const Deadline& deadline,
              std::size_t& sent);

  void Raise(TSignal signal);
  void Clear(TSignal signal);
  // Sleeps until the socket has something to receive (or has ended), `signal` is raised, the
  // abort is raised (or, when stop is given, the stop in its place), or the deadline passes;
  // error holds the error code of a Failed wait. A raised abort or stop is reported first.
  TWoken Wait(TSignal signal, const TStopSignal* stop, const Deadline& deadline, int& error);

 private:
  struct Platform;  // the system's socket and signal handles
  std::unique_ptr<Platform> p_;
};

}  // namespace network
