#include "protocol/link_state.h"

TLinkState LinkState{};
std::array<std::uint8_t, kExchangeBufferSize> ExchangeBuffer{};

namespace {
constexpr std::array<const char*, BaudTable.size()> kBaudTexts = {
    "1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600"};

// Program-start values are given before main() runs, as module start-up does.
struct StartValues {
  StartValues() { ResetLinkState(); }
} startValues;
}  // namespace

const char* BaudText(std::uint8_t baudIndex) {
  return baudIndex < kBaudTexts.size() ? kBaudTexts[baudIndex] : "9600";
}

void ResetLinkState() {
  LinkState = TLinkState{};
  ExchangeBuffer.fill(0);
  LinkState.BusyFlag = 0;
  LinkState.SearchState = 0;
  LinkState.SearchDelayMs = 150;
}
