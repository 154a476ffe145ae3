// One slave on a TVirtualBus: its address, rate, registers, fault switches and the log of the
// request frames it heard. Created by TVirtualBus::AddDevice, which owns it; the reference stays
// valid for the life of the bus.
//
// Thread-safety: every public member may be called from any thread while the bus runs; each takes
// the device's own lock for a moment. Only WaitForRequest blocks (on a condition variable, until
// its deadline).
//
// Timing: a frame is complete 3.5 character times after its last byte has left the line; the
// reply's first byte goes on the line Turnaround() after the end of the request on the line
// (3.5 characters plus the extra turnaround, plus TFaults::late); byte k of a reply goes on the
// line k character times after the first and reaches the master one character time later (see
// TVirtualBus).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "sim/faults.h"
#include "sim/line_timing.h"
#include "sim/modbus_slave.h"
#include "sim/peer_line.h"
#include "sim/transmission.h"

namespace sim {

struct TDeviceConfig {
  std::uint8_t address = 247;     // 1..247 (248..255 accepted, for probes past the bus range)
  std::uint16_t id = 14;          // register 0: 14 and 15 are the family, anything else is not
  std::uint8_t baudCode = 4;      // register 2: 1..8 = 1200 .. 57600
  std::uint16_t mode = 0;         // register 3
  std::uint16_t powerUpMode = 0;  // register 4
  std::uint16_t onMode = 2;       // register 5
  std::uint16_t remember = 0;     // register 6
};

// One frame heard on the line.
struct TRequestRecord {
  std::vector<std::uint8_t> bytes;
  Clock::time_point firstByteAt;  // when its first byte came out of the pseudo-terminal
  Clock::time_point endAt;        // when its last byte left the line (modelled)
};

class TVirtualDevice {
 public:
  TVirtualDevice(const TVirtualDevice&) = delete;
  TVirtualDevice& operator=(const TVirtualDevice&) = delete;

  // The address and baud code it works at now. Set* take effect at once and also set register 1
  // or 2; they throw std::invalid_argument for an address of 0 or a code outside 1..8.
  std::uint8_t Address() const;
  std::uint8_t BaudCode() const;
  void SetAddress(std::uint8_t address);
  void SetBaudCode(std::uint8_t code);

  // Raw register values as reported (SetRegister neither moves the address nor changes the rate).
  // Throws std::out_of_range for a register above 6.
  std::uint16_t Register(std::size_t reg) const;
  TRegisters Registers() const;
  void SetRegister(std::size_t reg, std::uint16_t value);

  TFaults Faults() const;
  void SetFaults(TFaults faults);
  void ClearFaults() { SetFaults({}); }

  // Added to every turnaround (not a fault: a slow device).
  void SetExtraTurnaround(std::chrono::milliseconds extra);
  // A new address or rate is taken this long after the echo has left the line (a device that
  // restarts its UART); until then it is still at the old one.
  void SetMoveDelay(std::chrono::milliseconds delay);
  // End of request on the line to first reply byte: 3.5 characters at its rate + the extra
  // turnaround (TFaults::late not included).
  std::chrono::nanoseconds Turnaround() const;

  // Frames heard at the device's own rate and frame format, whatever their address or CRC
  // (the last 65536 are kept; RequestCount counts all).
  std::vector<TRequestRecord> Requests() const;
  std::size_t RequestCount() const;
  // Waits until the n-th frame (from 1) has been heard; returns it, or nothing at the deadline.
  std::optional<TRequestRecord> WaitForRequest(std::size_t n,
                                               std::chrono::milliseconds timeout) const;
  void ClearRequests();
  // Frames it could not hear because the master's rate differed from its own by more than 2 %.
  std::size_t DeafFrames() const;

 private:
  friend class TVirtualBus;
  struct TOutcome {
    std::optional<TTransmission> reply;
    bool hangUp = false;
    bool hangUpAfterReply = false;
  };

  explicit TVirtualDevice(const TDeviceConfig& config);

  // Bus thread: a complete frame, heard at line settings, whose last byte left the line at endAt;
  // now is the time the frame was taken up (at least endAt + 3.5 characters).
  TOutcome OnFrame(const TRequestRecord& frame, const TPeerLine& line, Clock::time_point now);
  void ApplyPendingChange(Clock::time_point now);  // caller holds mutex_
  bool Hears(const TPeerLine& line) const;         // caller holds mutex_

  mutable std::mutex mutex_;
  mutable std::condition_variable heard_;
  TSlaveState state_;
  TFaults faults_;
  std::chrono::milliseconds extraTurnaround_{0};
  std::chrono::milliseconds moveDelay_{0};
  std::deque<TRequestRecord> requests_;
  std::size_t requestCount_ = 0;
  std::size_t firstKept_ = 1;  // number (from 1) of requests_.front()
  std::size_t deafFrames_ = 0;
  // A new address or rate that the device takes once its echo has left the line.
  std::optional<std::uint8_t> pendingAddress_;
  std::optional<std::uint8_t> pendingBaudCode_;
  Clock::time_point pendingAt_{};
  std::mt19937 random_;
};

}  // namespace sim
