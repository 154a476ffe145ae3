#include "protocol/parameter_block.h"

#include "protocol/registers.h"

unsigned ReplyRegister(const std::uint8_t* reply, int k) {
  const auto high = static_cast<std::size_t>(3 + 2 * k);
  return reply[high] * 256u + reply[high + 1];
}

TBlockCheck CheckParameterBlock(const std::uint8_t* reply, std::size_t count) {
  // A block is never read past the bytes received: a reply too short to hold register 0 is
  // rejected before its id is looked at.
  if (count < static_cast<std::size_t>(kShortestRegisterReply)) return TBlockCheck::BadLength;
  const unsigned id = ReplyRegister(reply, kRegisterId);
  if (id != kIdTarviA && id != kIdTarviZA) return TBlockCheck::BadId;
  if (reply[2] != kParameterByteCount || count < static_cast<std::size_t>(kParameterBlockLength))
    return TBlockCheck::BadLength;
  return TBlockCheck::Ok;
}

TParameterBlock DecodeParameterBlock(const std::uint8_t* reply) {
  TParameterBlock block;
  block.id = ReplyRegister(reply, kRegisterId);
  block.address = ReplyRegister(reply, kRegisterAddress);
  block.baudCode = ReplyRegister(reply, kRegisterBaudCode);
  block.mode = ReplyRegister(reply, kRegisterOnOff);
  block.powerUp = ReplyRegister(reply, kRegisterPowerUpMode);
  block.onCommand = ReplyRegister(reply, kRegisterOnCommandMode);
  block.remember = ReplyRegister(reply, kRegisterRemember);
  return block;
}
