// The requests the command-line tool sends, and what their replies mean: the parameter block,
// a one-register probe, a write confirmed by its echo. Every failure of the device is a
// TDeviceFault with a message that names the address, the rate and the time waited; failures of
// the port leave as EComPort.
// Threads: on the thread that holds the line (bus/device_line.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bus/device_line.h"
#include "protocol/baud_rates.h"
#include "protocol/parameter_block.h"
#include "protocol/registers.h"

// Echo: the reply begins with the request itself (an echoing adapter, used without --echo).
enum class TFaultKind { NoAnswer, CrcError, Exception, WrongReply, NotOfFamily, Echo };

// The stable name of a fault kind in --json ("no_answer", "crc_error", ...).
const char* FaultKindName(TFaultKind kind);

class TDeviceFault : public std::runtime_error {
 public:
  TDeviceFault(TFaultKind kind, const std::string& message, std::vector<std::uint8_t> reply = {})
      : std::runtime_error(message), Kind(kind), Reply(std::move(reply)) {}
  TFaultKind Kind;
  std::vector<std::uint8_t> Reply;  // the bytes received, if any
};

// Where a request goes and how long its reply may take to begin.
struct TTarget {
  std::uint8_t address = kHighestAddress;
  std::uint8_t baudIndex = kDefaultBaudIndex;        // the rate the line is at
  std::optional<std::chrono::milliseconds> timeout;  // else the family's time-out for the rate
  // When the device was sent to this address and rate (its echo came, or was lost). A device
  // takes a moment to move after its echo, so a request within kMoveWindow of a move waits
  // until kMoveSettle has passed and is asked again while no answer comes (at least twice, and
  // until kMoveWindow has passed): a write of a register is safe to repeat.
  std::optional<std::chrono::steady_clock::time_point> movedAt;
};

inline constexpr std::chrono::milliseconds kMoveSettle{20};
inline constexpr std::chrono::milliseconds kMoveWindow{1000};

struct TBlockReading {
  TParameterBlock block;
  std::chrono::duration<double, std::milli> replyTime{};  // end of write to last reply byte
};

// Reads registers 0..6 and checks them as the window does (CRC, exception, function, address,
// id, byte count and length). Throws TDeviceFault.
TBlockReading ReadParameterBlock(TDeviceLine& line, const TTarget& target);

// Writes one register and checks the echo: the same address, function, register and value.
// Throws TDeviceFault.
void WriteRegister(TDeviceLine& line, const TTarget& target, std::uint16_t reg,
                   std::uint16_t value);

// A probe (read of register 0) during a scan.
struct TProbeResult {
  enum class TKind {
    Silent,   // nothing within the wait
    Garbled,  // bytes that fail the CRC check
    Family,   // a device of the family: id 14 or 15
    Other,    // a valid reply from a device of another family (another id, an exception)
  } kind = TKind::Silent;
  std::uint8_t address = 0;  // from the reply: a late reply is credited to its sender
  unsigned id = 0;
  std::optional<std::uint8_t> exceptionCode;
  std::vector<std::uint8_t> bytes;
};
// Throws TDeviceFault (Echo) when the reply is the request itself: every probe would be.
TProbeResult Probe(TDeviceLine& line, std::uint8_t address, std::chrono::milliseconds wait);

// True when the bytes received begin with the request's own bytes (6 of them at least, all of
// the request when that many came), and are not merely a write's echo, which repeats the
// request by design: the adapter handed back the request.
bool BeginsWithRequest(const std::vector<std::uint8_t>& reply, const TRequestFrame& request);
