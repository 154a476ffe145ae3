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

TBaudRate ComBaudRate(std::uint8_t baudIndex) {
  static constexpr std::array<TBaudRate, BaudTable.size()> kRates = {
      br1200, br2400, br4800, br9600, br14400, br19200, br38400, br57600};
  return baudIndex < kRates.size() ? kRates[baudIndex] : br9600;
}

void ResetLinkState() {
  LinkState = TLinkState{};
  ExchangeBuffer.fill(0);
  LinkState.BusyFlag = 0;
  LinkState.SearchState = 0;
  LinkState.SearchDelayMs = 150;
}
