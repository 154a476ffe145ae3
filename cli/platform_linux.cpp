#include <errno.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <pthread.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "bus/messages.h"
#include "cli/platform.h"
#include "serial/port_discovery.h"
#include "serial/serial_device.h"

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read in a signal handler");

// The stop token's source, requested by the thread that waits on stopPipe: request_stop may
// lock and run callbacks, which a signal handler must not.
std::stop_source& StopSource() {
  static std::stop_source source;
  return source;
}
int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signalNumber) {
  if (stopRequested.exchange(true)) {
    // The second request: the operator wants out now.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    return;
  }
  if (stopPipe[1] >= 0) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(stopPipe[1], &byte, 1);
    errno = saved;
  }
}

// Starts the thread that turns the signal's byte on stopPipe into the token's request. It runs
// with the stop signals blocked, so that they keep interrupting the main thread's pauses.
void StartStopRelay() {
  if (pipe(stopPipe) != 0) return;  // the flag alone then: the token is never requested
  sigset_t stops, before;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  std::thread([] {
    char byte = 0;
    while (read(stopPipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
    StopSource().request_stop();
  }).detach();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

void SetUpConsole() {}

bool StderrTakesEscapes() {
  return true;  // every terminal a Linux program meets draws them
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void InstallStopHandler() {
  static std::once_flag relay;
  std::call_once(relay, StartStopRelay);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a pause in nanosleep ends at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() {
  return stopRequested.load();
}

std::stop_token StopToken() {
  return StopSource().get_token();
}

void PauseUnlessStopped(std::chrono::milliseconds pause) {
  if (pause.count() <= 0) return;
  timespec left{static_cast<time_t>(pause.count() / 1000),
                static_cast<long>((pause.count() % 1000) * 1'000'000)};
  while (!StopRequested() && nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::string PortFailureAdvice(int systemErrorCode) {
  switch (systemErrorCode) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return Tr("no such port: is the adapter plugged in? 'tarvi-cli ports' lists the ports");
    case EACCES:
    case EPERM:
      return Tr(
          "no permission: add yourself to the group 'dialout' "
          "(sudo usermod -aG dialout $USER) and log in again");
    case EBUSY:
    case EWOULDBLOCK:
      return Tr("another program holds the port: close it and try again");
    case EIO:
      return Tr("the port has gone: the adapter was pulled out or the line hung up");
    default:
      return {};
  }
}

std::string NetworkFailureAdvice(int systemErrorCode) {
  switch (systemErrorCode) {
    case ENXIO:
      return Tr("the gateway's host name does not resolve: check its name or give its address");
    case EINVAL:
      return Tr(
          "a network port is rfc2217://HOST:PORT or tcp://HOST:PORT, an IPv6 address in brackets "
          "(rfc2217://[::1]:2217)");
    case EPROTONOSUPPORT:
      return Tr(
          "the gateway refuses the COM-port option (RFC 2217): set its port up as "
          "telnet(rfc2217), or use tcp:// for a raw port");
    case EPROTO:
      return Tr(
          "the gateway does not negotiate the COM-port option (RFC 2217): is it a raw TCP port "
          "(tcp://)?");
    default:
      return Tr(
          "check the gateway's address and port, whether another client holds it, and a "
          "firewall");
  }
}

std::string PortDriverName(const std::string& port) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path device = fs::canonical(TSerialDevice::PathOf(port), error);
  if (error) return Tr("(unknown)");
  // A port of the system list: the driver sysfs names (ftdi_sio, serial8250, ...).
  if (const auto ports = ReadSystemPortDetails()) {
    for (const TPortDetails& details : *ports)
      if (details.name == device.filename().string() && !details.driver.empty())
        return details.driver;
  }
  // Otherwise the tty driver of its device number (pty_slave for a pseudo-terminal).
  struct stat status {};
  if (stat(device.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return Tr("(unknown)");
  const unsigned major = ::major(status.st_rdev);
  const unsigned minor = ::minor(status.st_rdev);
  std::ifstream drivers("/proc/tty/drivers");
  for (std::string line; std::getline(drivers, line);) {
    std::istringstream fields(line);
    std::string name, node, range;
    unsigned number = 0;
    if (!(fields >> name >> node >> number >> range) || number != major) continue;
    unsigned low = 0, high = 0;
    const std::size_t dash = range.find('-');
    low = static_cast<unsigned>(std::stoul(range.substr(0, dash)));
    high =
        dash == std::string::npos ? low : static_cast<unsigned>(std::stoul(range.substr(dash + 1)));
    if (minor >= low && minor <= high) return name;
  }
  return Tr("(unknown)");
}

std::optional<std::chrono::milliseconds> PortAdapterLatency(const std::string& port) {
  std::error_code error;
  const std::filesystem::path device =
      std::filesystem::canonical(TSerialDevice::PathOf(port), error);
  if (error) return std::nullopt;
  if (const auto ports = ReadSystemPortDetails()) {
    for (const TPortDetails& details : *ports)
      if (details.name == device.filename().string() && details.latencyMs)
        return std::chrono::milliseconds(*details.latencyMs);
  }
  return std::nullopt;
}
