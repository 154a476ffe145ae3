#include "protocol/status_texts.h"

#include "protocol/link_state.h"

std::string BaudRateStatusText(std::uint8_t baudIndex) {
  return std::string("BaudRate = ") + BaudText(baudIndex);
}

std::string DeviceStatusText(std::uint8_t address, std::uint8_t baudIndex, TAddressLetter letter,
                             bool finalSemicolon) {
  std::string text = letter == TAddressLetter::Latin ? "DEVICE : A = " : "DEVICE : \u0410 = ";
  text += std::to_string(address);
  text += "; Baud = ";
  text += BaudText(baudIndex);
  if (finalSemicolon) text += ';';
  return text;
}

std::string AddressLabelText(std::uint8_t address) {
  return "АДРЕС ПРИБОРА - " + std::to_string(address);
}
