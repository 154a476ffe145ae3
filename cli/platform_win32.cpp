#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <stop_token>

#include "bus/messages.h"
#include "cli/platform.h"
#include "serial/port_discovery.h"

namespace {

std::atomic<bool> stopRequested{false};

// Raised with the stop flag, so a pause ends at once. Manual reset: it stays raised.
HANDLE StopEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

std::stop_source& StopSource() {
  static std::stop_source source;
  return source;
}

// Runs on a thread of its own that the system starts for each console event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    return FALSE;  // closing the console, logging off: the system's default (the process ends)
  }
  if (stopRequested.exchange(true)) {
    // The second request: the operator wants out now. FALSE hands the event on to the
    // default handler, which ends the process.
    return FALSE;
  }
  if (StopEvent() != nullptr) SetEvent(StopEvent());
  StopSource().request_stop();
  return TRUE;
}

HANDLE StderrHandle() {
  return GetStdHandle(STD_ERROR_HANDLE);
}

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

UINT consoleOutputCodePage = 0;
DWORD stderrConsoleMode = 0;  // the mode to restore at exit; 0: nothing changed
bool stderrTakesEscapes = false;

void RestoreConsoleOutputCodePage() {
  SetConsoleOutputCP(consoleOutputCodePage);
}

void RestoreStderrConsoleMode() {
  SetConsoleMode(StderrHandle(), stderrConsoleMode);
}

// A console draws escape sequences once its output mode asks for their processing (Windows 10
// and later); an older one refuses the mode and would show them as text.
void SetUpEscapes() {
  DWORD mode = 0;
  if (!GetConsoleMode(StderrHandle(), &mode)) return;  // not a console: no bar is drawn
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
    stderrTakesEscapes = true;
    return;
  }
  if (!SetConsoleMode(StderrHandle(), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return;
  stderrTakesEscapes = true;
  stderrConsoleMode = mode;
  std::atexit(RestoreStderrConsoleMode);
}

void SetUpCodePage() {
  // The program writes UTF-8 (the model names are Cyrillic, and so are the Russian texts). A
  // console shows the bytes in its output code page, so that becomes UTF-8 while the program
  // runs, and the console's own page comes back at exit. Output to a file or a pipe is UTF-8
  // either way.
  const UINT current = GetConsoleOutputCP();
  if (current == 0 || current == CP_UTF8) return;  // no console, or UTF-8 already
  if (!SetConsoleOutputCP(CP_UTF8)) return;
  consoleOutputCodePage = current;
  std::atexit(RestoreConsoleOutputCodePage);
}

}  // namespace

void SetUpConsole() {
  static bool done = false;
  if (done) return;
  done = true;
  SetUpCodePage();
  SetUpEscapes();
}

bool StderrTakesEscapes() {
  return stderrTakesEscapes;
}

bool StderrIsTerminal() {
  // A console answers GetConsoleMode; a file, a pipe and NUL (which _isatty counts as a
  // character device) do not.
  DWORD mode = 0;
  return GetConsoleMode(StderrHandle(), &mode) != 0;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(StderrHandle(), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
  return 80;
}

void InstallStopHandler() {
  StopEvent();  // made before the first event can come
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() {
  return stopRequested.load();
}

std::stop_token StopToken() {
  return StopSource().get_token();
}

void PauseUnlessStopped(std::chrono::milliseconds pause) {
  if (pause.count() <= 0 || StopRequested()) return;
  const auto wait = static_cast<DWORD>(pause.count());
  if (StopEvent() != nullptr) {
    WaitForSingleObject(StopEvent(), wait);
  } else {
    Sleep(wait);
  }
}

std::string PortFailureAdvice(int systemErrorCode) {
  switch (systemErrorCode) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DEV_NOT_EXIST:
      return Tr(
          "no such port: is the adapter plugged in? Device Manager shows its COM number under "
          "\"Ports (COM & LPT)\"; 'tarvi-cli ports' lists the ports");
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      // Windows gives a port that another program holds open as access denied (5).
      return Tr("another program holds the port: close it and try again");
    case ERROR_GEN_FAILURE:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_OPERATION_ABORTED:
      return Tr("the port has gone: the adapter was pulled out or the line hung up");
    default:
      return {};
  }
}

std::string NetworkFailureAdvice(int systemErrorCode) {
  // The codes of network/network_socket_win32.cpp.
  switch (systemErrorCode) {
    case WSAHOST_NOT_FOUND:
      return Tr("the gateway's host name does not resolve: check its name or give its address");
    case ERROR_INVALID_NAME:
      return Tr(
          "a network port is rfc2217://HOST:PORT or tcp://HOST:PORT, an IPv6 address in brackets "
          "(rfc2217://[::1]:2217)");
    case WSAEPROTONOSUPPORT:
      return Tr(
          "the gateway refuses the COM-port option (RFC 2217): set its port up as "
          "telnet(rfc2217), or use tcp:// for a raw port");
    case ERROR_BAD_NET_RESP:
      return Tr(
          "the gateway does not negotiate the COM-port option (RFC 2217): is it a raw TCP port "
          "(tcp://)?");
    case ERROR_GEN_FAILURE:  // the gateway closed the connection
    case WSAECONNRESET:
    case WSAECONNABORTED:
    default:
      return Tr(
          "check the gateway's address and port, whether another client holds it, and a "
          "firewall");
  }
}

std::string PortDriverName(const std::string& port) {
  // The device manager's service of the port (usbser, FTDIBUS, Serial, ...).
  if (const auto ports = ReadSystemPortDetails()) {
    for (const TPortDetails& details : *ports)
      if (_stricmp(details.name.c_str(), port.c_str()) == 0 && !details.driver.empty())
        return details.driver;
  }
  return Tr("(unknown)");
}

std::optional<std::chrono::milliseconds> PortAdapterLatency(const std::string& port) {
  if (const auto ports = ReadSystemPortDetails()) {
    for (const TPortDetails& details : *ports)
      if (_stricmp(details.name.c_str(), port.c_str()) == 0 && details.latencyMs)
        return std::chrono::milliseconds(*details.latencyMs);
  }
  return std::nullopt;
}
