// The exchange engine: one request out, its reply gathered, checked and handed on.
//
// Order of one exchange: a caller (operator command or search step) sets BusyFlag where it
// applies, calls one send and records PendingRequest when the send returns; zero or more receive
// steps follow; then exactly one end-of-exchange step when Timer_Rx fires, or none at all when
// the send failed. The port is opened by each send and closed at the end of each exchange,
// except while a search runs.
#pragma once

#include <cstdint>

class TCustomComPort;
class TTrafficLogView;

// Sends a function-6 request (write single register) to DeviceAddress and arms the reply
// time-out (350 ms). An open or write failure ends in a log line, not an exception, and leaves
// the port closed.
void SendWriteRegister(std::uint16_t reg, std::uint16_t value, TTrafficLogView& log);

// Sends a function-3 request (read holding registers) for `count` registers from `first`, with
// the read time-out of BaudIndex, or SearchDelayMs while a search runs.
void SendReadRegisters(std::uint16_t first, std::uint16_t count, TTrafficLogView& log);

// The receive step, run on the port's monitor thread by the received-character event: reads up
// to ExpectedRxLength bytes, then hands them to the main thread, which stores them in
// ExchangeBuffer, sets RxCount and cuts Timer_Rx to 5 ms.
void ReceiveStep(TCustomComPort& port);

// The end-of-exchange step, run on the main thread when Timer_Rx fires.
void EndOfExchangeStep();

// The reply time-out the next send arms: 350 ms for a write; for a read 3000/1500/700/350 ms by
// BaudIndex, or SearchDelayMs while a search runs.
std::uint32_t ReplyTimeoutMs(bool isWrite);
