// CPU time of the whole process while the line is silent: the real window offscreen, its real
// ComPort1, and a virtual device in another process (tarvi-sim, which never answers here), so
// that only the product's own threads count. Three spells of 10 s each:
//   - a search running with nothing answering (the port open, one probe every 155 ms);
//   - the port open and the window idle (a search stopped between two probes leaves it open);
//   - the window idle with the port closed, as between two commands.
// CPU time from getrusage(RUSAGE_SELF): every thread of the process, user and system.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_application.h"
#include "bench/child_program.h"
#include "bench/figures.h"
#include "bench/log_watch.h"
#include "console/main_window.h"
#include "protocol/link_state.h"
#include "protocol/log_lines.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kSpell(10000);

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The share of one core the process used while the event loop ran for the spell.
double CpuShareOver(milliseconds spell) {
  const double cpuBefore = CpuSeconds();
  const Clock::time_point before = Clock::now();
  RunEventLoopFor(spell);
  const double wall = std::chrono::duration<double>(Clock::now() - before).count();
  return (CpuSeconds() - cpuBefore) / wall;
}

void Report(const std::string& spell, double share, const std::string& target) {
  PrintRow("Idle CPU, " + spell + " (10 s)", Fixed(share * 100, 3) + " % of one core", "-", "-",
           target);
}

}  // namespace

int main(int argc, char** argv) {
  TBenchApplication application(argc, argv);

  const std::string folder = "/tmp/bench_idle." + std::to_string(getpid());
  const std::string link = folder + "/tty";
  TChildProgram sim(BinDir() + "/tarvi-sim", {"tarvi-sim", "--link", link, "--silent"},
                    {.pipe = true});
  if (!sim.ReadLine(milliseconds(5000))) {
    std::fprintf(stderr, "tarvi-sim did not get ready\n");
    return 1;
  }

  ResetLinkState();
  TForm1 form;
  form.ComPort1->SetPort(link);
  form.show();
  RunEventLoopFor(milliseconds(200));

  // Stops the search right after a probe's window has closed, while the next step is pending.
  bool stopBetweenProbes = false;
  const auto endOfExchange = form.Timer_Rx->OnTimer;
  form.Timer_Rx->OnTimer = [&] {
    endOfExchange();
    if (stopBetweenProbes && LinkState.SearchState == kSearchRunning) {
      stopBetweenProbes = false;
      form.CustomItem4->trigger();
    }
  };

  form.CustomItem4->trigger();  // Start
  RunEventLoopFor(milliseconds(500));
  const double searching = CpuShareOver(kSpell);
  const bool searchedThroughout = LinkState.SearchState == kSearchRunning;

  stopBetweenProbes = true;
  RunEventLoopUntil([&] { return LinkState.SearchState == 0; }, milliseconds(2000));
  RunEventLoopFor(milliseconds(200));
  const bool openBefore = form.ComPort1->Connected();
  const double portOpen = CpuShareOver(kSpell);
  const bool openAfter = form.ComPort1->Connected();

  // The next command's exchange closes the port (nothing answers: it ends by its time-out).
  TimeUntilLine(
      form, [&] { form.TeButton4->click(); }, IsVerdict, milliseconds(2000));
  RunEventLoopFor(milliseconds(200));
  const bool closedBefore = !form.ComPort1->Connected();
  const double portClosed = CpuShareOver(kSpell);

  Report(std::string("search running, nothing answers") +
             (searchedThroughout ? "" : " [the search ended early]"),
         searching, "-");
  Report(std::string("port open, line silent, window idle") +
             (openBefore && openAfter ? "" : " [the port was not open]"),
         portOpen, "< 0.5 %");
  Report(std::string("port closed, window idle") + (closedBefore ? "" : " [the port was open]"),
         portClosed, "< 0.5 %");

  sim.Signal(SIGTERM);
  sim.Wait(milliseconds(2000));
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
