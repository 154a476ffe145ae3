#include "protocol/frame.h"

#include <algorithm>

#include "protocol/link_state.h"

std::uint16_t CalcCrc16(const std::uint8_t* data, std::uint16_t length) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint16_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      if (crc & 1u) {
        crc = static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u);
      } else {
        crc = static_cast<std::uint16_t>(crc >> 1);
      }
    }
  }
  return crc;
}

TRequestFrame MakeRequestFrame(std::uint8_t address, std::uint8_t function, std::uint16_t reg,
                               std::uint16_t valueOrCount) {
  TRequestFrame frame{};
  frame[0] = address;
  frame[1] = function;
  frame[2] = static_cast<std::uint8_t>(reg >> 8);
  frame[3] = static_cast<std::uint8_t>(reg & 0xFF);
  frame[4] = static_cast<std::uint8_t>(valueOrCount >> 8);
  frame[5] = static_cast<std::uint8_t>(valueOrCount & 0xFF);
  const std::uint16_t crc = CalcCrc16(frame.data(), 6);
  frame[6] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[7] = static_cast<std::uint8_t>(crc >> 8);
  return frame;
}

bool FrameCrcValid(const std::uint8_t* bytes, std::size_t count) {
  // A one-byte reply leaves no CRC to compare; counting it as bad keeps the read inside the
  // received byte. A frame longer than any CRC length cannot be a reply of the family.
  if (count < 2 || count > 0xFFFF) return false;
  const std::uint16_t computed = CalcCrc16(bytes, static_cast<std::uint16_t>(count - 2));
  const std::uint16_t stored =
      static_cast<std::uint16_t>(bytes[count - 2] | (bytes[count - 1] << 8));
  return computed == stored;
}

void BuildRequest(std::uint8_t function, std::uint16_t reg, std::uint16_t valueOrCount) {
  const TRequestFrame frame =
      MakeRequestFrame(LinkState.DeviceAddress, function, reg, valueOrCount);
  std::copy(frame.begin(), frame.end(), ExchangeBuffer.begin());
}

bool CheckReplyCrc() {
  // RxCount can never exceed the buffer, but a corrupt count must not read past it.
  const std::size_t n = LinkState.RxCount;
  if (n > ExchangeBuffer.size()) return false;
  return FrameCrcValid(ExchangeBuffer.data(), n);
}
