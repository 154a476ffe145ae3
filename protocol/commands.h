// The operator commands of the main window. Each returns at once, sending nothing, while a search
// runs; the mode writes and the remember flag also while an exchange is in flight (BusyFlag).
// Otherwise each sets BusyFlag, sends its request to DeviceAddress through the traffic log of
// the bound console, and records its request kind in PendingRequest.
#pragma once

#include "protocol/registers.h"

// The baud list: writes the selected index + 1 to register 2.
void CommandWriteBaudCode(int selectedIndex);
// "-->": DeviceAddress := the address field, then writes the new address to register 1.
void CommandWriteAddress(int addressField, int newAddress);
// "ВКЛЮЧИТЬ" / "ОТКЛЮЧИТЬ": writes 1 / 0 to register 3.
void CommandSwitch(bool on);
// "ЗАПРОС ПАРАМЕТРОВ": reads registers 0..6.
void CommandQueryParameters();
// The remember box: writes 1 when checked, 0 when cleared, to register 6.
void CommandWriteRemember(bool checked);
// A mode radio button of column A (register 4) or B (register 5).
void CommandWritePowerUpMode(int mode);
void CommandWriteOnCommandMode(int mode);
