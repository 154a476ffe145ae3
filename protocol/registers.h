// The device's holding registers and ids.
#pragma once

// Registers 0..6: id, bus address, baud code (BaudTable index + 1), on/off and current mode,
// power-up mode, mode on the "on" command, remember the last command over a loss of power.
inline constexpr int kRegisterId = 0;
inline constexpr int kRegisterAddress = 1;
inline constexpr int kRegisterBaudCode = 2;
inline constexpr int kRegisterOnOff = 3;
inline constexpr int kRegisterPowerUpMode = 4;
inline constexpr int kRegisterOnCommandMode = 5;
inline constexpr int kRegisterRemember = 6;
inline constexpr int kParameterBlockRegisters = 7;

// The bus addresses a device can have (0 is the broadcast address, which no device answers).
inline constexpr int kLowestAddress = 1;
inline constexpr int kHighestAddress = 247;

// The device ids of the family.
inline constexpr int kIdTarviA = 14;
inline constexpr int kIdTarviZA = 15;
