#include "protocol/frame.h"

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

void BuildRequest(std::uint8_t function, std::uint16_t reg, std::uint16_t valueOrCount) {
  ExchangeBuffer[0] = LinkState.DeviceAddress;
  ExchangeBuffer[1] = function;
  ExchangeBuffer[2] = static_cast<std::uint8_t>(reg >> 8);
  ExchangeBuffer[3] = static_cast<std::uint8_t>(reg & 0xFF);
  ExchangeBuffer[4] = static_cast<std::uint8_t>(valueOrCount >> 8);
  ExchangeBuffer[5] = static_cast<std::uint8_t>(valueOrCount & 0xFF);
  const std::uint16_t crc = CalcCrc16(ExchangeBuffer.data(), 6);
  ExchangeBuffer[6] = static_cast<std::uint8_t>(crc & 0xFF);
  ExchangeBuffer[7] = static_cast<std::uint8_t>(crc >> 8);
}

bool CheckReplyCrc() {
  const std::size_t n = LinkState.RxCount;
  // A one-byte reply leaves no CRC to compare; counting it as bad keeps the read inside the
  // received byte. RxCount can never exceed the buffer, but a corrupt count must not read past it.
  if (n < 2 || n > ExchangeBuffer.size()) return false;
  const std::uint16_t computed =
      CalcCrc16(ExchangeBuffer.data(), static_cast<std::uint16_t>(n - 2));
  const std::uint16_t stored =
      static_cast<std::uint16_t>(ExchangeBuffer[n - 2] | (ExchangeBuffer[n - 1] << 8));
  return computed == stored;
}
