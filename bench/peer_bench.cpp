// Side by side with a peer master: the real window's parameter queries, clicked back to back,
// and mbpoll reading the same seven registers of the same virtual device at 9600 Bd, one after
// the other in one run. Both are timed by the device, from the first byte of one request to the
// first byte of the next, so neither side's own clock is trusted.
//
// Usage: bench_peer [COUNT]   (COUNT exchanges each)
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_application.h"
#include "bench/child_program.h"
#include "bench/figures.h"
#include "bench/log_watch.h"
#include "console/main_window.h"
#include "protocol/link_state.h"
#include "protocol/log_lines.h"
#include "sim/virtual_bus.h"

namespace {

using std::chrono::milliseconds;

constexpr std::uint8_t kBaudCode = 4;  // 9600 Bd
constexpr int kMbpollPauseMs = 10;     // its shortest poll rate: the pause between two polls

// Exchanges per second over the requests heard from number `first` (from 1) on, `count`
// request-to-request periods; nothing if fewer were heard.
struct TPace {
  double perSecond = 0;
  double periodMs = 0;
};

std::optional<TPace> PaceOf(const sim::TVirtualDevice& device, std::size_t first,
                            std::size_t count) {
  const std::vector<sim::TRequestRecord> requests = device.Requests();
  if (requests.size() < first + count) return std::nullopt;
  const auto span = requests[first - 1 + count].firstByteAt - requests[first - 1].firstByteAt;
  const double seconds = std::chrono::duration<double>(span).count();
  return TPace{static_cast<double>(count) / seconds, seconds * 1000 / static_cast<double>(count)};
}

// mbpoll's closing statistics line ("N frames transmitted, M received, E errors, ...").
std::string PollStatistics(const std::string& outputPath) {
  std::ifstream output(outputPath);
  std::string line;
  std::string found;
  while (std::getline(output, line)) {
    if (line.find("frames transmitted") != std::string::npos) found = line;
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  TBenchApplication application(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;

  ResetLinkState();
  sim::TVirtualBus bus;
  sim::TVirtualDevice& device = bus.AddDevice({.baudCode = kBaudCode});
  bus.Start();
  const std::uint32_t rate = sim::RateOfBaudCode(kBaudCode);
  const double lineMs = std::chrono::duration<double, std::milli>(sim::CharTime(rate) * (8 + 19) +
                                                                  device.Turnaround())
                            .count();

  // Ours: each click as soon as the previous verdict is in.
  int failures = 0;
  std::optional<TPace> ours;
  {
    TForm1 form;
    form.ComPort1->SetPort(bus.SlavePath());
    form.show();
    RunEventLoopFor(milliseconds(100));
    const std::size_t first = device.RequestCount() + 1;
    for (int i = 0; i <= count; ++i) {
      const auto seen = TimeUntilLine(
          form, [&] { form.TeButton4->click(); }, IsVerdict, milliseconds(2000));
      if (!seen || seen->line != QString::fromUtf8(kLineOk)) ++failures;
    }
    ours = PaceOf(device, first, static_cast<std::size_t>(count));
  }

  // The peer, on the same device through the same pseudo-terminal, once our port is closed.
  std::optional<TPace> peer;
  std::string statistics;
  {
    const std::size_t first = device.RequestCount() + 1;
    const std::string outputPath = "/tmp/bench_peer_mbpoll." + std::to_string(getpid());
    TChildProgram mbpoll(
        "mbpoll",
        {"mbpoll", "-m", "rtu", "-a", "247", "-b", std::to_string(rate), "-P", "none", "-0", "-r",
         "0", "-c", "7", "-l", std::to_string(kMbpollPauseMs), bus.SlavePath()},
        {.path = outputPath});
    // One request more than counted: the last period ends at its first byte.
    device.WaitForRequest(first + static_cast<std::size_t>(count), milliseconds(60000));
    mbpoll.Signal(SIGINT);
    mbpoll.Wait(milliseconds(5000));
    peer = PaceOf(device, first, static_cast<std::size_t>(count));
    statistics = PollStatistics(outputPath);
    std::remove(outputPath.c_str());
  }

  const std::string n = " (n=" + std::to_string(count) + ")";
  const std::string line = Fixed(lineMs, 2) + " ms on the line";
  if (ours) {
    PrintRow(
        "Peer: tarvi, parameter queries back to back, 9600 Bd" + n +
            (failures ? ", " + std::to_string(failures) + " failed" : ""),
        Fixed(ours->perSecond, 2) + " exchanges/s (period " + Fixed(ours->periodMs, 2) + " ms)",
        line, peer ? Fixed(ours->perSecond / peer->perSecond, 3) + " x mbpoll" : "-", "-");
  }
  if (peer) {
    PrintRow("Peer: mbpoll -c 7 -l " + std::to_string(kMbpollPauseMs) + ", same device" + n +
                 (statistics.empty() ? "" : " [" + statistics + "]"),
             Fixed(peer->perSecond, 2) + " exchanges/s (period " + Fixed(peer->periodMs, 2) +
                 " ms, less its " + std::to_string(kMbpollPauseMs) + " ms pause " +
                 Fixed(peer->periodMs - kMbpollPauseMs, 2) + " ms)",
             line, "1", "-");
  }
  return ours && peer ? 0 : 1;
}
