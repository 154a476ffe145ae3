// Exchange state shared by the protocol code and the main window.
//
// LinkState and ExchangeBuffer are module-level on purpose: there is one device link per program,
// and every piece of the protocol (commands, engine, interpretation, search) reads and writes
// the same record. All fields are touched on the main thread only; the receive step hands its
// bytes over by posting to the main thread instead of writing here from the monitor thread.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/baud_rates.h"

// The codes held in LinkState.PendingRequest.
enum RequestKind : std::uint8_t {
  rkNone = 0,
  rkAddressChange = 1,
  rkBaudChange = 2,
  rkParameterQuery = 3,
  rkPowerUpMode = 4,
  rkOnCommandMode = 5,
  rkOnOffOrRemember = 6,
  rkSearchProbe = 254,
  rkBadCrc = 255,
};

// SearchState while a device search runs.
inline constexpr std::uint8_t kSearchRunning = 254;

struct TLinkState {
  std::uint8_t DeviceAddress;
  std::uint8_t BaudIndex;
  std::uint16_t RxCount;
  std::uint8_t BusyFlag;
  std::uint8_t PendingRequest;
  std::uint8_t SearchState;
  std::uint8_t ExpectedRxLength;
  std::uint16_t SearchDelayMs;
};

inline constexpr std::size_t kExchangeBufferSize = 256;

extern TLinkState LinkState;
extern std::array<std::uint8_t, kExchangeBufferSize> ExchangeBuffer;

// Puts LinkState and ExchangeBuffer back to their program-start values: all zero, then the
// values the protocol module gives at start (BusyFlag 0, SearchState 0, SearchDelayMs 150).
// The window-time values (DeviceAddress 247, BaudIndex 3) are FormCreate's to set.
void ResetLinkState();
