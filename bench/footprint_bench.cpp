// Footprint of the program against a bare Qt main window built the same way, in a real X server
// (run it under xvfb-run): the time from starting the program to its first window being mapped,
// its peak resident memory once the window is shown, and its CPU time while it sits idle.
//
// The window is caught without polling: this program listens for MapNotify on the root window
// (SubstructureNotify) before it starts the other one, and takes the first mapped window whose
// _NET_WM_PID is the child's. Runs alternate between the two programs; medians are reported.
//
// Usage: bench_footprint [RUNS]   (default 7 runs of each)
#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/child_program.h"
#include "bench/figures.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kWindowTimeout(15000);
constexpr milliseconds kSettle(1000);      // after the map: the first paint and anything after it
constexpr milliseconds kIdleSpell(10000);  // the idle CPU measure of the program

struct TXcb {
  xcb_connection_t* connection = nullptr;
  xcb_window_t root = 0;
  xcb_atom_t wmPid = XCB_ATOM_NONE;
  ~TXcb() {
    if (connection) xcb_disconnect(connection);
  }
};

bool Connect(TXcb& x) {
  int screenNumber = 0;
  x.connection = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(x.connection)) return false;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x.connection));
  for (int i = 0; i < screenNumber; ++i)
    xcb_screen_next(&screens);
  x.root = screens.data->root;
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  // Checked, so the mask is in force before any program is started.
  xcb_generic_error_t* error = xcb_request_check(
      x.connection,
      xcb_change_window_attributes_checked(x.connection, x.root, XCB_CW_EVENT_MASK, &mask));
  if (error) {
    std::free(error);
    return false;
  }
  const char name[] = "_NET_WM_PID";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      x.connection, xcb_intern_atom(x.connection, 0, sizeof name - 1, name), nullptr);
  if (atom) x.wmPid = atom->atom;
  std::free(atom);
  return true;
}

std::optional<std::uint32_t> WindowPid(const TXcb& x, xcb_window_t window) {
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      x.connection, xcb_get_property(x.connection, 0, window, x.wmPid, XCB_ATOM_CARDINAL, 0, 1),
      nullptr);
  std::optional<std::uint32_t> pid;
  if (reply && xcb_get_property_value_length(reply) == 4) {
    std::uint32_t value;
    std::memcpy(&value, xcb_get_property_value(reply), sizeof value);
    pid = value;
  }
  std::free(reply);
  return pid;
}

// Waits for the first window of pid to be mapped; the time it was seen, or nothing.
std::optional<Clock::time_point> WaitForWindow(const TXcb& x, int pid) {
  const Clock::time_point deadline = Clock::now() + kWindowTimeout;
  const int fd = xcb_get_file_descriptor(x.connection);
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x.connection)) {
      const Clock::time_point seen = Clock::now();
      const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
      xcb_window_t window = 0;
      if (mapped) {
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
        if (!map->override_redirect) window = map->window;
      }
      std::free(event);
      if (window != 0 && WindowPid(x, window) == static_cast<std::uint32_t>(pid)) return seen;
    }
    if (xcb_connection_has_error(x.connection)) return std::nullopt;
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return std::nullopt;
  }
}

// A field of /proc/PID/status in kB ("VmHWM:", "VmRSS:").
long StatusKb(int pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
  }
  return -1;
}

// CPU time of every thread of pid so far, in nanoseconds (from each thread's schedstat).
double CpuNs(int pid) {
  double total = 0;
  std::error_code failure;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, failure)) {
    std::ifstream schedstat(task.path() / "schedstat");
    double runNs = 0;
    if (schedstat >> runNs) total += runNs;
  }
  return total;
}

struct TStart {
  double firstWindowMs = 0;
  double peakRssMb = 0;
  std::optional<double> idleCpuShare;
  double idleCpuMs = 0;
};

std::optional<TStart> StartOnce(const TXcb& x, const std::string& program, bool measureIdle) {
  const Clock::time_point start = Clock::now();
  TChildProgram child(program, {program});
  const std::optional<Clock::time_point> shown = WaitForWindow(x, child.Pid());
  if (!shown) {
    std::fprintf(stderr, "%s: no window within %lld ms\n", program.c_str(),
                 static_cast<long long>(kWindowTimeout.count()));
    return std::nullopt;
  }
  TStart result;
  result.firstWindowMs = std::chrono::duration<double, std::milli>(*shown - start).count();
  // Resting, not polling: the child runs on its own meanwhile.
  poll(nullptr, 0, static_cast<int>(kSettle.count()));
  result.peakRssMb = static_cast<double>(StatusKb(child.Pid(), "VmHWM:")) / 1024;
  if (measureIdle) {
    const double before = CpuNs(child.Pid());
    const Clock::time_point from = Clock::now();
    poll(nullptr, 0, static_cast<int>(kIdleSpell.count()));
    const double wallNs = std::chrono::duration<double, std::nano>(Clock::now() - from).count();
    const double usedNs = CpuNs(child.Pid()) - before;
    result.idleCpuShare = usedNs / wallNs;
    result.idleCpuMs = usedNs / 1e6;
  }
  child.Signal(SIGTERM);
  if (!child.Wait(milliseconds(3000))) child.Signal(SIGKILL);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
  const std::string program = BinDir() + "/tarvi";
  const std::string bare = BinDir() + "/bench_bare_window";

  // One connection for the whole run: an X server that lost its last client resets itself, and
  // refuses connections for a moment while it does.
  TXcb x;
  if (!Connect(x)) {
    std::fprintf(stderr, "no X server (DISPLAY=%s)\n", std::getenv("DISPLAY"));
    return 1;
  }
  // One start of each first, not counted: it brings the libraries and fonts into the page cache.
  if (!StartOnce(x, program, false) || !StartOnce(x, bare, false)) return 1;
  std::vector<double> windowMs[2];
  std::vector<double> rssMb[2];
  std::optional<double> idle;
  double idleMs = 0;
  for (int i = 0; i < runs; ++i) {
    for (int which = 0; which < 2; ++which) {
      const bool idleToo = which == 0 && i == 0;
      const std::optional<TStart> s = StartOnce(x, which == 0 ? program : bare, idleToo);
      if (!s) return 1;
      windowMs[which].push_back(s->firstWindowMs);
      rssMb[which].push_back(s->peakRssMb);
      if (idleToo) {
        idle = s->idleCpuShare;
        idleMs = s->idleCpuMs;
      }
    }
  }
  const std::string n = " (median of " + std::to_string(runs) + ")";
  const double programMs = Median(windowMs[0]);
  const double bareMs = Median(windowMs[1]);
  const double programMb = Median(rssMb[0]);
  const double bareMb = Median(rssMb[1]);
  PrintRow("Start to first window mapped, Xvfb" + n, Fixed(programMs, 1) + " ms",
           "bare QMainWindow " + Fixed(bareMs, 1) + " ms",
           "+" + Fixed(programMs - bareMs, 1) + " ms", "within 150 ms of bare");
  PrintRow("Peak RSS with the window shown" + n, Fixed(programMb, 1) + " MB",
           "bare QMainWindow " + Fixed(bareMb, 1) + " MB",
           "+" + Fixed(programMb - bareMb, 1) + " MB", "within 10 MB of bare");
  if (idle) {
    PrintRow("Idle CPU of the program in Xvfb, window shown, port closed (10 s)",
             Fixed(*idle * 100, 3) + " % of one core (" + Fixed(idleMs, 2) + " ms CPU)", "-", "-",
             "< 0.5 %");
  }
  return 0;
}
