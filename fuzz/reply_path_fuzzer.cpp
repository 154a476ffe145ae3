// Any bytes as the reply of an exchange, with any request kind in PendingRequest and with or
// without a search running, through the end-of-exchange step: CheckReplyCrc, LogReply and
// DispatchReply with the reply interpretation and the search's find test.
//
// Input: [PendingRequest] [flags: bit 0 search running, bit 1 answer Yes] [BaudIndex]
//        [DeviceAddress] [reply bytes ...] (at most 256).
//
// The part of ExchangeBuffer past the bytes received is poisoned while the step runs, so that
// reading a reply past its end is reported. Each step must end the exchange (or go on with the
// search), with at most one verdict line, and the verdict the reply calls for outside a search.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "fuzz/fake_console.h"
#include "fuzz/property_check.h"
#include "protocol/exchange.h"
#include "protocol/link_state.h"
#include "sim/crc16.h"

namespace {

const char* const kVerdicts[] = {
    "   : \u041E\u041A.",          "   : ОШИБКА.",   "   : НЕВЕРНЫЙ ID УСТРОЙСТВА.",
    "   : НЕВЕРНАЯ ДЛИНА ОТВЕТА.", "   : TIME OUT.", "   : CRC ERROR.",
};

int CountVerdicts(const std::vector<std::string>& lines) {
  int n = 0;
  for (const std::string& line : lines)
    n += static_cast<int>(std::count(std::begin(kVerdicts), std::end(kVerdicts), line));
  return n;
}

// Function codes the interpretation answers with a verdict.
bool HasVerdictCode(std::uint8_t function) {
  return function == 3 || function == 6 || function == 16 || function == 0x83 || function == 0x86 ||
         function == 0x90;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  static TFakeConsole* console = [] {
    auto* c = new TFakeConsole;
    BindConsole(c);
    return c;
  }();
  const std::span<const std::uint8_t> reply(data + 4, std::min<std::size_t>(size - 4, 256));

  ResetLinkState();
  console->log.lines = {"TX : ", "RX :"};
  console->rxTimer = {};
  console->stepTimer = {};
  console->answerYes = (data[1] & 2) != 0;
  console->questions = 0;
  const std::uint8_t pending = data[0];
  const bool searching = (data[1] & 1) != 0;
  LinkState.PendingRequest = pending;
  LinkState.SearchState = searching ? kSearchRunning : 0;
  LinkState.BaudIndex = data[2];
  LinkState.DeviceAddress = data[3];
  LinkState.BusyFlag = 1;
  std::copy(reply.begin(), reply.end(), ExchangeBuffer.begin());
  LinkState.RxCount = static_cast<std::uint16_t>(reply.size());
  console->rxTimer.enabled = true;

  // The protocol's CRC routine against the virtual device's independent one.
  // (Two bytes FF FF pass: the CRC of no bytes is FFFF.)
  const bool crcOk =
      reply.size() >= 2 && sim::Crc16(reply.first(reply.size() - 2)) ==
                               (reply[reply.size() - 2] | reply[reply.size() - 1] << 8);

  ASAN_POISON_MEMORY_REGION(ExchangeBuffer.data() + reply.size(),
                            ExchangeBuffer.size() - reply.size());
  EndOfExchangeStep();
  ASAN_UNPOISON_MEMORY_REGION(ExchangeBuffer.data(), ExchangeBuffer.size());

  const auto& lines = console->log.lines;
  CHECK(!console->rxTimer.enabled);
  CHECK(LinkState.RxCount == 0 && LinkState.BusyFlag == 0 && LinkState.PendingRequest == rkNone);
  CHECK(console->log.colour == TLogColour::Blue);
  CHECK(lines.size() <= 2 + 256 / 17 + 1 + 2);
  CHECK(LinkState.BaudIndex == data[2] || LinkState.BaudIndex < BaudTable.size());
  const int verdicts = CountVerdicts(lines);
  // One verdict, except that a garbled reply whose function byte reads as an exception code
  // gets that verdict before its CRC ERROR.
  const bool garbledException = !crcOk && !searching && reply.size() >= 2 &&
                                (reply[1] == 0x83 || reply[1] == 0x86 || reply[1] == 0x90);
  CHECK(verdicts <= (garbledException ? 2 : 1));
  CHECK(console->questions <= 1);
  if (!searching) {
    // The CRC decides between the reply's own verdict and CRC ERROR; no reply is a time-out.
    if (reply.empty()) {
      CHECK(lines.back() == "   : TIME OUT.");
    } else if (!crcOk) {
      CHECK(lines.back() == "   : CRC ERROR.");
    } else if (HasVerdictCode(reply[1]) && pending != rkBadCrc) {
      CHECK(verdicts == 1);
    }
    CHECK(!console->stepTimer.enabled);
  } else if (LinkState.SearchState == kSearchRunning) {
    CHECK(console->stepTimer.enabled);  // the next probe follows
  } else {
    // The search ended here: by a device of the family (its address from the reply) or at 247.
    CHECK(LinkState.DeviceAddress == console->addressField);
    CHECK(!console->progressVisible && console->searchCaption == "Start");
  }
  return 0;
}
