// What a reply means, from its function code and the request kind in PendingRequest. Runs on the
// main thread inside the end of an exchange, after the traffic log has shown the reply's bytes.
#pragma once

#include <cstdint>

// Interprets the reply in ExchangeBuffer and appends its verdict line.
void DispatchReply();
// The parameter block: 3 when accepted and shown, 255 when rejected (reason already logged).
std::uint8_t ParseParameters();
// The echo of an address change: takes the echoed address over. An echo too short to hold it
// gets the length verdict and changes nothing (so does a short echo of a baud change).
void ApplyNewAddress();
// The echo of a baud change: takes the device's new rate over and asks whether the PC's port
// should follow.
void ApplyNewBaud();
