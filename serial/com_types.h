// Enumerations and sets of the serial port component. Ordinals follow the declaration order;
// callers pass BaudRate values by ordinal (br9600 = 7).
#pragma once

#include <cstdint>
#include <initializer_list>

enum TBaudRate : std::uint8_t {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : std::uint8_t {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
enum TComError : std::uint8_t {
  ceFrame,
  ceRxParity,
  ceOverrun,
  ceBreak,
  ceIO,
  ceMode,
  ceRxOver,
  ceTxFull
};

// A set over an enumeration: bit n stands for the value of ordinal n.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values)
      bits_ |= Bit(v);
  }
  static constexpr TSet FromBits(std::uint32_t bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool Has(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr void Include(E v) { bits_ |= Bit(v); }
  constexpr void Exclude(E v) { bits_ &= ~Bit(v); }
  friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
  std::uint32_t bits_ = 0;
};

using TComEvents = TSet<TComEvent>;
using TComErrors = TSet<TComError>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x3FF);

// Rate in bits per second of a TBaudRate; brCustom gives `customRate`.
std::uint32_t BaudRateToBitsPerSecond(TBaudRate rate, std::uint32_t customRate = 9600);

// The input modem signals of a port, as one query answers them.
struct TModemSignals {
  bool cts = false;
  bool dsr = false;
  bool ring = false;
  bool rlsd = false;
};
