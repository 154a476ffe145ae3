#include "protocol/search.h"

#include "protocol/console_link.h"
#include "protocol/exchange.h"
#include "protocol/link_state.h"
#include "protocol/log_lines.h"
#include "protocol/parameter_block.h"
#include "protocol/registers.h"

namespace {

constexpr std::uint8_t kLastAddress = kHighestAddress;
constexpr std::uint32_t kStepDelayMs = 5;

// What Stop, a find and the end of the scan share: the search controls back at rest and the
// address field showing where the search ended.
void ShowSearchEnded() {
  TConsoleLink& console = Console();
  console.SetProgressVisible(false);
  console.SetSearchCaption("Start");
}

}  // namespace

void SearchStartStop() {
  TConsoleLink& console = Console();
  if (LinkState.SearchState != kSearchRunning) {
    // Start neither waits for an exchange in flight nor touches the port.
    LinkState.DeviceAddress = 0;
    console.SetProgressVisible(true);
    console.SetProgressPosition(0);
    console.SetSearchCaption("Stop");
    LinkState.SearchState = kSearchRunning;
    console.StepTimer().SetInterval(kStepDelayMs);
    console.StepTimer().SetEnabled(true);
    return;
  }
  // Stop touches neither the timers nor the port: a pending step does nothing when it fires,
  // and a probe that is out ends as an ordinary exchange, whose end closes the port.
  console.SetSearchCaption("Start");
  LinkState.SearchState = 0;
  console.SetProgressVisible(false);
  console.SetAddressField(LinkState.DeviceAddress);
  console.FocusMenuBar();
}

void SearchStep() {
  TConsoleLink& console = Console();
  console.StepTimer().SetEnabled(false);
  if (LinkState.SearchState != kSearchRunning) return;
  ++LinkState.DeviceAddress;
  console.SetProgressPosition(LinkState.DeviceAddress);
  SendReadRegisters(kRegisterId, 1, console.Log());
  LinkState.PendingRequest = rkSearchProbe;
}

void SearchEndTest() {
  if (LinkState.DeviceAddress < kLastAddress) return;
  TConsoleLink& console = Console();
  LinkState.SearchState = 0;
  LinkState.DeviceAddress = kLastAddress;
  console.Log().AddLine(kLineNotFound);
  ShowSearchEnded();
  console.SetAddressField(LinkState.DeviceAddress);
  console.FocusMenuBar();
}

std::uint8_t ReportFoundDevice() {
  // A reply too short to hold a register names no device.
  if (LinkState.RxCount < kShortestRegisterReply) return rkSearchProbe;
  const std::string line = FoundDeviceLine(ReplyRegister(ExchangeBuffer.data(), kRegisterId));
  if (line.empty()) return rkSearchProbe;
  TConsoleLink& console = Console();
  LinkState.SearchState = 0;
  // The address comes from the reply, so a late reply is credited to the device that sent it.
  LinkState.DeviceAddress = ExchangeBuffer[0];
  ShowSearchEnded();
  console.Log().AddLine(line + ZeroPad(LinkState.DeviceAddress, 3));
  console.SetAddressField(LinkState.DeviceAddress);
  console.FocusMenuBar();
  return rkSearchProbe;
}

void SetSearchDelay(std::uint16_t ms) {
  LinkState.SearchDelayMs = ms;
}

std::string ZeroPad(std::uint16_t value, std::uint8_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}
