// Texts of the status bar and the address label, shared by the window and the protocol.
#pragma once

#include <cstdint>
#include <string>

// "BaudRate = 9600"
std::string BaudRateStatusText(std::uint8_t baudIndex);

// "DEVICE : A = 247; Baud = 9600", with a final ";" for the writers that add one. The address
// change echo and FormCreate write the Latin A; the baud change echo writes the Cyrillic А.
enum class TAddressLetter { Latin, Cyrillic };
std::string DeviceStatusText(std::uint8_t address, std::uint8_t baudIndex, TAddressLetter letter,
                             bool finalSemicolon);

// "АДРЕС ПРИБОРА - 247"
std::string AddressLabelText(std::uint8_t address);
