#include "protocol/link_state.h"

#include "protocol/reply_timing.h"

TLinkState LinkState{};
std::array<std::uint8_t, kExchangeBufferSize> ExchangeBuffer{};

namespace {
// Program-start values are given before main() runs, as module start-up does.
struct StartValues {
  StartValues() { ResetLinkState(); }
} startValues;
}  // namespace

void ResetLinkState() {
  LinkState = TLinkState{};
  ExchangeBuffer.fill(0);
  LinkState.BusyFlag = 0;
  LinkState.SearchState = 0;
  LinkState.SearchDelayMs = kDefaultSearchDelayMs;
}
