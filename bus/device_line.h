// The line to the devices of one serial port, driven through the serial component (TComPort)
// with synchronous writes and reads only: no monitor thread, so the same code runs wherever the
// component has a device layer.
//
// One exchange: the request is written; the reply time-out is the wait for the reply to begin
// (a read that returns at its first byte, ReadTotalConstant = the wait). A reply that has begun
// is judged after each piece (cli/reply_framing.h): a whole frame (its length by its function
// and byte count, its CRC) ends at once; a beginning of the awaited reply is read on until the
// wait, the reply's line time and the gap have passed since the write, however a USB adapter
// splits it up; bytes that cannot become the reply end once the gap passes without a byte. The
// gap covers the adapter's latency timer (cli/reply_framing.h, FrameGap). The port stays open
// from Open to the destructor.
//
// An echoing adapter (a two-wire RS-485 adapter whose receiver stays on while it sends) hands
// back the request itself before the reply. With `echo`, that copy is read (within the reply
// time-out, to its 8 bytes while they match the request) and dropped, and the wait for the reply
// starts after it; bytes that are not the request are the reply's beginning, as without `echo`.
//
// Failures of the port raise EComPort (serial/com_exception.h); a device that does not answer is
// not a failure here: the reply is then empty. One thread at a time: the one that opened it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bus/reply_framing.h"
#include "protocol/baud_rates.h"
#include "protocol/frame.h"
#include "serial/com_exception.h"

class TComPort;

// A driver that will not switch RTS around its transmissions: an EComPort (a port failure) whose
// message names the driver (the port is put in front where it is reported).
class ERs485Refused : public EComPort {
 public:
  ERs485Refused(const std::string& driver, int systemErrorCode);
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

struct TReply {
  std::vector<std::uint8_t> bytes;                             // empty: no answer within the wait
  std::chrono::duration<double, std::milli> firstByteAfter{};  // from the end of the write
  std::chrono::duration<double, std::milli> lastByteAfter{};
};

// What the system tells of a port beyond the serial component, asked by the front end's own
// platform code (empty functions: nothing is known).
struct TPortFacts {
  // The latency timer of the USB adapter behind the port, where the system tells it.
  std::function<std::optional<std::chrono::milliseconds>(const std::string& port)> adapterLatency;
  // The name of the driver behind the port, for messages.
  std::function<std::string(const std::string& port)> driverName;
};

class TDeviceLine {
 public:
  // Each TX line, the RX lines and the discarded bytes, in the traffic log's layout, for --trace.
  using TTrace = std::function<void(const std::string& line)>;

  // gap: the silence given by the operator, if any; the gap in use is FrameGap of it and the
  // adapter's latency where the system tells it (Open).
  explicit TDeviceLine(std::string portName, TTrace trace = {},
                       std::optional<std::chrono::milliseconds> gap = std::nullopt,
                       bool echo = false, bool rs485 = false, TPortFacts facts = {});
  ~TDeviceLine();
  TDeviceLine(const TDeviceLine&) = delete;
  TDeviceLine& operator=(const TDeviceLine&) = delete;

  // Opens the port at a BaudTable rate, 8N1, no flow control, DTR and RTS off. EComPort 1 (or 7,
  // 8, 9 from the settings) on failure. With `rs485`, RTS is then left to the driver, on while
  // it sends and off after (Linux: its RS-485 mode; Windows: RTS_CONTROL_TOGGLE); a driver that
  // refuses gives ERs485Refused.
  void Open(std::uint8_t baudIndex);
  // Switches the open port to another rate at once. Through a raw TCP port the rate stays the
  // gateway's: the first change calls OnWarning with a line saying so.
  void SetRate(std::uint8_t baudIndex);
  // Warnings for the operator: the rate kept by a raw TCP port; --echo without an echo.
  std::function<void(const std::string& line)> OnWarning;
  std::uint8_t Rate() const { return baudIndex_; }
  const std::string& PortName() const { return portName_; }
  // The silence that ends what the framing cannot decide (set by Open).
  std::chrono::milliseconds Gap() const { return gap_; }
  // The adapter's latency timer, where the system tells it (set by Open).
  std::optional<std::chrono::milliseconds> AdapterLatency() const { return latency_; }
  bool Echo() const { return echo_; }
  // The last exchange's time from the end of its write to the last byte of its reply.
  std::chrono::duration<double, std::milli> LastReplyTime() const { return lastReplyTime_; }
  // A line of the trace (--trace) that says what the caller did or waited for.
  void Note(const std::string& line) const;

  // Drops whatever waits in the input queue (the rest of an earlier reply, stray bytes; after a
  // reply that did not end as a whole frame, until its own time-out has passed and the line has
  // been silent for the gap, so that the request does not go out while a device is still sending),
  // then writes the request and gathers its reply of up to expectedLength bytes.
  TReply Exchange(const TRequestFrame& request, int expectedLength, std::chrono::milliseconds wait);

  // Listening only, for a line another master drives: waits up to `within` (at least 1 ms) for
  // bytes and returns with those that have come, at most `count`; 0 when none came. Nothing is
  // ever written.
  int Listen(std::uint8_t* into, int count, std::chrono::milliseconds within);

 private:
  void SetReadTimeouts(std::int32_t firstByteWithinMs);
  void Discard();
  using Clock = std::chrono::steady_clock;
  // The verdict on the first `count` bytes read.
  using TJudge = std::function<TFrameVerdict(int count)>;
  // Reads into `into` what comes within `wait`, then on as the judge says (see the top), until
  // `length` bytes are in; a frame that still needs more is waited for until `deadline`;
  // returns the count.
  int ReadFrame(std::uint8_t* into, int length, std::chrono::milliseconds wait,
                Clock::time_point deadline, const TJudge& judge);
  // Reads on after `count` bytes of a frame that has begun (see ReadFrame).
  int ReadOn(std::uint8_t* into, int count, int length, Clock::time_point deadline,
             const TJudge& judge);
  // The line time of `bytes` characters at the current rate, rounded up.
  std::chrono::milliseconds LineTime(std::size_t bytes) const;
  void TraceBytes(const char* prefix, const std::vector<std::uint8_t>& bytes);

  std::string portName_;
  TTrace trace_;
  std::unique_ptr<TComPort> port_;
  std::uint8_t baudIndex_ = kDefaultBaudIndex;
  std::optional<std::chrono::milliseconds> givenGap_;
  std::chrono::milliseconds gap_;
  std::optional<std::chrono::milliseconds> latency_;
  bool echo_;
  bool rs485_;
  TPortFacts facts_;
  std::chrono::steady_clock::time_point firstBytesAt_{};  // the last ReadFrame's first bytes
  std::chrono::duration<double, std::milli> lastReplyTime_{};
  bool mayStillSend_ = false;       // the last reply did not end as a whole frame
  Clock::time_point quietUntil_{};  // then: the end of its time-out, its line time and the gap
  bool rateKeptTold_ = false;
  bool noEchoTold_ = false;
};
