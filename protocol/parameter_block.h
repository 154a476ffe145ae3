// The parameter block: the reply to a read of registers 0..6, checked in the order the window
// checks it (a reply too short to hold a register, the id, then the byte count and length), and
// its seven registers.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kParameterBlockLength = 19;
inline constexpr int kParameterByteCount = 14;
// The shortest function-3 reply that holds a register: address, function, count, one value, CRC.
inline constexpr int kShortestRegisterReply = 7;

enum class TBlockCheck { Ok, BadId, BadLength };

// Checks a function-3 reply of `count` bytes (its CRC already checked) as a parameter block.
// Reads nothing past `count`.
TBlockCheck CheckParameterBlock(const std::uint8_t* reply, std::size_t count);

// Register k (0..6) of a function-3 reply, high byte first; the caller has checked the length.
unsigned ReplyRegister(const std::uint8_t* reply, int k);

struct TParameterBlock {
  unsigned id = 0;
  unsigned address = 0;    // register 1
  unsigned baudCode = 0;   // register 2
  unsigned mode = 0;       // register 3: on/off, as read the current mode
  unsigned powerUp = 0;    // register 4
  unsigned onCommand = 0;  // register 5
  unsigned remember = 0;   // register 6: 0 no, anything else yes
};

// The registers of a block that passed CheckParameterBlock.
TParameterBlock DecodeParameterBlock(const std::uint8_t* reply);
