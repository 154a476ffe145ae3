// The line to the devices of one serial port, driven through the serial component (TComPort)
// with synchronous writes and reads only: no monitor thread, so the same code runs wherever the
// component has a device layer.
//
// One exchange: the request is written; the reply time-out is the wait for the reply to begin
// (a read that returns at its first byte, ReadTotalConstant = the wait); a reply that has begun
// is read on until its expected length is in (an exception reply is known by its second byte and
// ends at its fifth), or the gap (5 ms unless chosen) passes without a byte: each further read
// waits that long for more. So garbage ends 5 ms after its last byte, and a long reply at a slow
// rate is never cut. The port stays open from Open to the destructor.
//
// Failures of the port raise EComPort (serial/com_exception.h); a device that does not answer is
// not a failure here: the reply is then empty. Main thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/baud_rates.h"
#include "protocol/frame.h"

class TComPort;

struct TReply {
  std::vector<std::uint8_t> bytes;                             // empty: no answer within the wait
  std::chrono::duration<double, std::milli> firstByteAfter{};  // from the end of the write
  std::chrono::duration<double, std::milli> lastByteAfter{};
};

class TDeviceLine {
 public:
  // Each TX line, the RX lines and the discarded bytes, in the traffic log's layout, for --trace.
  using TTrace = std::function<void(const std::string& line)>;

  explicit TDeviceLine(std::string portName, TTrace trace = {},
                       std::chrono::milliseconds gap = std::chrono::milliseconds(5));
  ~TDeviceLine();
  TDeviceLine(const TDeviceLine&) = delete;
  TDeviceLine& operator=(const TDeviceLine&) = delete;

  // Opens the port at a BaudTable rate, 8N1, no flow control, DTR and RTS off. EComPort 1 (or 7,
  // 8, 9 from the settings) on failure.
  void Open(std::uint8_t baudIndex);
  // Switches the open port to another rate at once. Through a raw TCP port the rate stays the
  // gateway's: the first change calls OnRateKept with a line saying so.
  void SetRate(std::uint8_t baudIndex);
  std::function<void(const std::string& line)> OnRateKept;
  std::uint8_t Rate() const { return baudIndex_; }
  const std::string& PortName() const { return portName_; }

  // Drops whatever waits in the input queue (the rest of an earlier reply, stray bytes; after a
  // reply that ended short of its length, until the line has been silent for the gap, so that
  // the request does not go out while a device is still sending), then writes the request and
  // gathers its reply of up to expectedLength bytes.
  TReply Exchange(const TRequestFrame& request, int expectedLength, std::chrono::milliseconds wait);

 private:
  void SetReadTimeouts(std::int32_t firstByteWithinMs);
  void Discard();
  void TraceBytes(const char* prefix, const std::vector<std::uint8_t>& bytes);

  std::string portName_;
  TTrace trace_;
  std::unique_ptr<TComPort> port_;
  std::uint8_t baudIndex_ = kDefaultBaudIndex;
  std::chrono::milliseconds gap_;
  bool mayStillSend_ = false;  // the last reply ended by silence short of its length
  bool rateKeptTold_ = false;
};
