#include "protocol/reply_interpretation.h"

#include <string>

#include "protocol/console_link.h"
#include "protocol/device_modes.h"
#include "protocol/link_state.h"
#include "protocol/log_lines.h"
#include "protocol/parameter_block.h"
#include "protocol/registers.h"
#include "protocol/search.h"
#include "protocol/status_texts.h"
#include "serial/com_port.h"

namespace {

// An echo of a write holds the written value's low byte at position 5.
constexpr int kEchoValueLow = 5;

// Register k of the function-3 reply in ExchangeBuffer, high byte first.
unsigned RegisterValue(int k) {
  return ReplyRegister(ExchangeBuffer.data(), k);
}

bool Received(int position) {
  return LinkState.RxCount > position;
}

// An echo too short to hold the written value is a length failure: logged as such, with nothing
// applied and no success line after it.
bool EchoHoldsValue() {
  if (Received(kEchoValueLow)) return true;
  Console().Log().AddLine(kLineBadLength);
  LinkState.PendingRequest = rkBadCrc;
  return false;
}

}  // namespace

void DispatchReply() {
  // A reply of one byte has no function code; it only reaches here as a CRC error.
  if (!Received(1)) return;
  TTrafficLogView& log = Console().Log();
  const unsigned binding = ConsoleBinding();
  switch (ExchangeBuffer[1]) {
    case 3:
      if (LinkState.PendingRequest == rkParameterQuery) {
        LinkState.PendingRequest = ParseParameters();
      } else if (LinkState.PendingRequest == rkSearchProbe) {
        LinkState.PendingRequest = ReportFoundDevice();
      }
      break;
    case 6:
      if (LinkState.PendingRequest == rkAddressChange) {
        ApplyNewAddress();
      } else if (LinkState.PendingRequest == rkBaudChange) {
        ApplyNewBaud();
      }
      break;
    case 16:
      break;
    case 0x83:
    case 0x86:
    case 0x90:
      log.AddLine(kLineError);
      return;
    default:
      return;
  }
  if (binding != ConsoleBinding()) return;  // the window went while the baud question was open
  if (LinkState.PendingRequest != rkBadCrc) log.AddLine(kLineOk);
}

std::uint8_t ParseParameters() {
  TConsoleLink& console = Console();
  TTrafficLogView& log = console.Log();
  switch (CheckParameterBlock(ExchangeBuffer.data(), LinkState.RxCount)) {
    case TBlockCheck::BadId:
      log.AddLine(kLineBadId);
      return rkBadCrc;
    case TBlockCheck::BadLength:
      log.AddLine(kLineBadLength);
      return rkBadCrc;
    case TBlockCheck::Ok:
      break;
  }
  console.ClearModeButtons();
  if (const char* line = ModeLine(RegisterValue(kRegisterOnOff))) log.AddLine(line);
  // Selecting a button and setting the box run their click handlers, which send nothing while
  // BusyFlag is still 1.
  const unsigned powerUp = RegisterValue(kRegisterPowerUpMode);
  if (IsOfferedMode(powerUp))
    console.SelectModeButton(TModeColumn::PowerUp, static_cast<int>(powerUp));
  const unsigned onCommand = RegisterValue(kRegisterOnCommandMode);
  if (IsOfferedMode(onCommand))
    console.SelectModeButton(TModeColumn::OnCommand, static_cast<int>(onCommand));
  console.SetRememberChecked(RegisterValue(kRegisterRemember) != 0);
  return rkParameterQuery;
}

void ApplyNewAddress() {
  if (!EchoHoldsValue()) return;
  TConsoleLink& console = Console();
  LinkState.DeviceAddress = ExchangeBuffer[kEchoValueLow];
  // The field's change handler runs when the value differs; the lines below write over what it
  // shows, without the final ";".
  console.SetAddressField(LinkState.DeviceAddress);
  console.SetAddressLabel(AddressLabelText(LinkState.DeviceAddress));
  console.SetStatusText(2, DeviceStatusText(LinkState.DeviceAddress, LinkState.BaudIndex,
                                            TAddressLetter::Latin, false));
}

void ApplyNewBaud() {
  if (!EchoHoldsValue()) return;
  TConsoleLink& console = Console();
  LinkState.BaudIndex = static_cast<std::uint8_t>(ExchangeBuffer[kEchoValueLow] - 1);
  // A code outside 1..8 is taken as 9600.
  if (LinkState.BaudIndex >= BaudTable.size()) LinkState.BaudIndex = 3;
  console.SetStatusText(2, DeviceStatusText(LinkState.DeviceAddress, LinkState.BaudIndex,
                                            TAddressLetter::Cyrillic, false));
  const unsigned binding = ConsoleBinding();
  const bool yes = console.AskYesNo("Warning", "Сменить скорость обмена COM-порта ПК?");
  // The window can be closed while its question is open; then nothing of it is left to set.
  if (!yes || binding != ConsoleBinding()) return;
  console.UncheckBaudItems();
  console.CheckBaudItem(LinkState.BaudIndex);
  console.SetStatusText(1, BaudRateStatusText(LinkState.BaudIndex));
  console.Port().SetBaudRate(ComBaudRate(LinkState.BaudIndex));
}
