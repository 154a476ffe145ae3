#include "protocol/exchange.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <vector>

#include "protocol/console_link.h"
#include "protocol/frame.h"
#include "protocol/link_state.h"
#include "protocol/log_lines.h"
#include "protocol/reply_timing.h"
#include "protocol/search.h"
#include "serial/com_port.h"
#include "system/main_thread_queue.h"

namespace {

// ExpectedRxLength as the monitor thread reads it. The send sets LinkState.ExpectedRxLength on
// the main thread before writing the request; the reply's bytes reach the monitor through the
// line, an ordering no race checker can see, so the receive step reads this published copy.
std::atomic<std::uint8_t> expectedForReceiver{0};

// Counts the closings of the port by the end of an exchange. A receive step remembers the count
// it began under, and the block it hands over is dropped when the port has been closed since:
// its exchange has ended (the monitor read it just before the end step closed the port, and the
// main thread takes it up only after). Taken up, it would re-arm Timer_Rx and end the ended
// exchange a second time, or end the next exchange with bytes that are not its reply. While a
// search keeps the port open, a block that comes late still counts for the window it lands in.
// Written on the main thread once the monitor has been stopped, read by the monitor.
std::atomic<unsigned> portClosings{0};

void CloseExchangePort(TConsoleLink& console) {
  console.Port().ClosePort();
  portClosings.fetch_add(1, std::memory_order_release);
}

void Send(std::uint8_t function, std::uint16_t reg, std::uint16_t valueOrCount,
          TTrafficLogView& log) {
  BuildRequest(function, reg, valueOrCount);
  log.LogRequest();
  TConsoleLink& console = Console();
  TComPort& port = console.Port();
  try {
    port.OpenPort();
    const bool isWrite = function == kFunctionWriteRegister;
    LinkState.ExpectedRxLength = static_cast<std::uint8_t>(
        isWrite ? kWriteEchoLength : ReadReplyLength(static_cast<int>(valueOrCount)));
    expectedForReceiver.store(LinkState.ExpectedRxLength, std::memory_order_release);
    port.WritePort(ExchangeBuffer.data(), kRequestLength);
    TProtocolTimer& timer = console.RxTimer();
    timer.SetInterval(ReplyTimeoutMs(isWrite));
    timer.SetEnabled(true);
  } catch (const EComPort&) {
    // No timer is armed, so no end-of-exchange step follows: BusyFlag and PendingRequest keep
    // what the caller sets until a later exchange ends.
    log.SetColour(TLogColour::Blue);
    log.AddLine(kLineOpenFailed + port.Port());
    // A write fails on a port that has gone (the adapter pulled out while the port was open, as
    // during a search). No end of exchange would ever close it, so every later send would fail
    // on the dead descriptor even once the adapter is back: close it now, and the next send
    // opens the port afresh.
    try {
      CloseExchangePort(console);
    } catch (const EComPort&) {
      // The abort failed and the port stays open; the next send reports it again.
    }
  }
}

}  // namespace

std::uint32_t ReplyTimeoutMs(bool isWrite) {
  if (isWrite) return kWriteReplyTimeoutMs;
  if (LinkState.SearchState == kSearchRunning) return LinkState.SearchDelayMs;
  return ReadReplyTimeoutMs(LinkState.BaudIndex);
}

void SendWriteRegister(std::uint16_t reg, std::uint16_t value, TTrafficLogView& log) {
  Send(kFunctionWriteRegister, reg, value, log);
}

void SendReadRegisters(std::uint16_t first, std::uint16_t count, TTrafficLogView& log) {
  Send(kFunctionReadRegisters, first, count, log);
}

void ReceiveStep(TCustomComPort& port) {
  // Runs on the monitor thread. The read blocks until the expected count is in or the line has
  // been silent for the read interval; a failure (the port closed under it, the adapter gone)
  // leaves as EComPort and ends the monitor.
  std::array<std::uint8_t, kExchangeBufferSize> bytes{};
  const unsigned closings = portClosings.load(std::memory_order_acquire);
  const int expected = expectedForReceiver.load(std::memory_order_acquire);
  const int count = port.ReadPort(bytes.data(), expected);
  std::vector<std::uint8_t> received(bytes.begin(), bytes.begin() + std::clamp(count, 0, expected));
  // Only the main thread touches ExchangeBuffer, RxCount and Timer_Rx, so the end-of-exchange
  // step and the interpretation never see the buffer change under them.
  PostToMainThread([received = std::move(received), binding = ConsoleBinding(), closings] {
    if (binding != ConsoleBinding()) return;  // the window this was read for is gone
    if (closings != portClosings.load(std::memory_order_relaxed)) return;  // its exchange ended
    std::copy(received.begin(), received.end(), ExchangeBuffer.begin());
    LinkState.RxCount = static_cast<std::uint16_t>(received.size());
    TProtocolTimer& timer = Console().RxTimer();
    timer.SetInterval(kTakeUpDelayMs);
    timer.SetEnabled(true);
  });
}

void EndOfExchangeStep() {
  TConsoleLink& console = Console();
  console.RxTimer().SetEnabled(false);
  if (LinkState.SearchState != kSearchRunning) CloseExchangePort(console);
  TTrafficLogView& log = console.Log();
  log.SetColour(TLogColour::Blue);

  const unsigned binding = ConsoleBinding();
  if (LinkState.RxCount > 0) {
    if (CheckReplyCrc()) {
      log.LogReply();
      // Showing a baud change's echo asks a question, and the window can be closed meanwhile:
      // the exchange then ends with it, touching nothing of the window.
      if (binding != ConsoleBinding()) return;
    } else if (LinkState.SearchState != kSearchRunning) {
      LinkState.PendingRequest = rkBadCrc;
      log.LogReply();
      log.AddLine(kLineCrcError);
    } else {
      SearchEndTest();
    }
  } else if (LinkState.SearchState != kSearchRunning) {
    log.AddLine(kLineTimeOut);
  } else {
    SearchEndTest();
  }

  // Closes the port when the search ended within this step (a find or the end of the scan).
  if (LinkState.SearchState != kSearchRunning) CloseExchangePort(console);

  // Cleared only now: showing a parameter block selects radio buttons and sets the check box,
  // whose handlers must send nothing while BusyFlag is still 1.
  LinkState.RxCount = 0;
  LinkState.PendingRequest = rkNone;
  LinkState.BusyFlag = 0;
  if (LinkState.SearchState != 0) console.StepTimer().SetEnabled(true);
}
