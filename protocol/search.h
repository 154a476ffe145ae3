// The device search: probes addresses 1, 2, ... with a one-register read until a device of the
// family answers or the scan passes 247. One probe per Timer_Programm step; each probe is an
// ordinary exchange of the engine, with the port kept open for the whole search.
#pragma once

#include <cstdint>
#include <string>

// The Start/Stop item: Start while no search runs, Stop while one does.
void SearchStartStop();
// One search step, run when Timer_Programm fires.
void SearchStep();
// Run by the end-of-exchange step when a probe's window closed without a valid reply.
void SearchEndTest();
// A function-3 reply to a probe: ends the search when its first register is 14 or 15. Always 254.
std::uint8_t ReportFoundDevice();
// The reply window of one probe, from the Delay menu (100..350 ms).
void SetSearchDelay(std::uint16_t ms);
// The decimal digits of value, left-padded with "0" to width characters.
std::string ZeroPad(std::uint16_t value, std::uint8_t width);
