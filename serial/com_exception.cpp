#include "serial/com_exception.h"

#include <array>
#include <cstdio>

#include "system/message_catalogue.h"

namespace {

// The English texts, row n at index n - 1; they double as the catalogue's message ids.
constexpr std::array<const char*, 23> kComMessages = {
    N_("Unable to open com port"),
    N_("WriteFile function failed"),
    N_("ReadFile function failed"),
    N_("Invalid Async parameter"),
    N_("PurgeComm function failed"),
    N_("Unable to get async status"),
    N_("SetCommState function failed"),
    N_("SetCommTimeouts failed"),
    N_("SetupComm function failed"),
    N_("ClearCommError function failed"),
    N_("GetCommModemStatus function failed"),
    N_("EscapeCommFunction function failed"),
    N_("TransmitCommChar function failed"),
    N_("Cannot set property while connected"),
    N_("EnumPorts function failed"),
    N_("Failed to store settings"),
    N_("Failed to load settings"),
    N_("Link (un)registration failed"),
    N_("Cannot change led state if ComPort is selected"),
    N_("Cannot wait for event if event thread is created"),
    N_("WaitForEvent method failed"),
    N_("A component is linked to OnRxBuf event"),
    N_("Registry error"),
};
constexpr const char* kErrorCodeSuffix = N_(" (win error code: %d)");

struct MessageTable {
  std::array<std::string, 23> texts;
  std::string suffix;
  MessageTable() {
    for (std::size_t i = 0; i < kComMessages.size(); ++i)
      texts[i] = kComMessages[i];
    suffix = kErrorCodeSuffix;
  }
};

// Written once at start (before any other thread exists), read by every thread afterwards.
MessageTable& Table() {
  static MessageTable table;
  return table;
}

bool HasNoErrorCode(int failureCode) {
  return failureCode == CError_InvalidAsync || failureCode == CError_ConnChangeProp;
}

std::string ComposeMessage(int failureCode, int systemErrorCode) {
  std::string text = ComMessageText(failureCode);
  if (HasNoErrorCode(failureCode)) return text;
  // The suffix comes from a catalogue; it is used as a format only when its one directive is a
  // %d, so a broken translation cannot make the formatting read past its argument.
  const std::string& suffix = Table().suffix;
  const std::size_t percent = suffix.find('%');
  const bool safe = percent != std::string::npos && suffix.compare(percent, 2, "%d") == 0 &&
                    suffix.find('%', percent + 1) == std::string::npos;
  const std::string format = safe ? suffix : std::string(kErrorCodeSuffix);
  const int size = std::snprintf(nullptr, 0, format.c_str(), systemErrorCode);
  std::string formatted(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  std::snprintf(formatted.data(), formatted.size() + 1, format.c_str(), systemErrorCode);
  return text + formatted;
}

}  // namespace

EComPort::EComPort(int failureCode, int systemErrorCode)
    : std::runtime_error(ComposeMessage(failureCode, systemErrorCode)),
      SystemErrorCode(HasNoErrorCode(failureCode) ? -1 : systemErrorCode),
      FailureCode(failureCode) {}

void BuildComMessageTable() {
  MessageTable& table = Table();
  for (std::size_t i = 0; i < kComMessages.size(); ++i)
    table.texts[i] = Translate(kComMessages[i]);
  table.suffix = Translate(kErrorCodeSuffix);
}

const std::string& ComMessageText(int failureCode) {
  static const std::string empty;
  if (failureCode < 1 || failureCode > static_cast<int>(kComMessages.size())) return empty;
  return Table().texts[static_cast<std::size_t>(failureCode - 1)];
}
