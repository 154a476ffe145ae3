// A line through a serial device server against the same line reached directly: parameter blocks
// read back to back (tarvi-cli watch --interval 0) at 9600 Bd from one virtual device, first on
// its pseudo-terminal, then through Debian's ser2net on loopback (a telnet(rfc2217) accepter in
// front of the same pseudo-terminal), then directly once more, in one run. Timed by the device,
// from the first byte of one request to the first byte of the next; the ratio is the gateway's
// median period over the direct one (the mean of the two direct runs).
//
// Usage: bench_gateway [--count N] [--gap MS]   (N reads each, default 200; the watch's gap, 5)
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/child_program.h"
#include "bench/figures.h"
#include "sim/line_timing.h"
#include "sim/virtual_bus.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kSer2net = "/usr/sbin/ser2net";

std::uint16_t FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  std::uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

// Read from /proc/net/tcp: a probe connection would make ser2net take the line.
bool Listening(std::uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;  // 0A: LISTEN
  }
  return false;
}

struct TPace {
  double medianMs = 0;
  double p99Ms = 0;
  std::string failures;  // the watch's summary when some reads failed
};

// watch --interval 0 over the port, count + 1 reads (the last period ends at its first byte);
// the request-to-request periods as the device heard them.
std::optional<TPace> Watch(sim::TVirtualDevice& device, const std::string& port, int count,
                           int gapMs) {
  const std::size_t first = device.RequestCount() + 1;
  const std::string summaryPath = "/tmp/bench_gateway_watch." + std::to_string(getpid());
  std::optional<int> status;
  {
    const std::vector<std::string> argv{BinDir() + "/tarvi-cli",
                                        "watch",
                                        "-p",
                                        port,
                                        "-a",
                                        "247",
                                        "--interval",
                                        "0",
                                        "--count",
                                        std::to_string(count + 1),
                                        "--gap",
                                        std::to_string(gapMs)};
    TChildProgram cli(argv.front(), argv, {.path = summaryPath});
    status = cli.Wait(milliseconds(600'000));
  }
  TPace pace;
  if (status != 0) {
    std::ifstream output(summaryPath);
    for (std::string line; std::getline(output, line);)
      if (line.find(" reads: ") != std::string::npos) pace.failures = line;
  }
  std::remove(summaryPath.c_str());
  const std::vector<sim::TRequestRecord> requests = device.Requests();
  const auto n = static_cast<std::size_t>(count);
  if (requests.size() < first + n) return std::nullopt;
  std::vector<double> periods;
  for (std::size_t i = first; i < first + n; ++i)
    periods.push_back(std::chrono::duration<double, std::milli>(requests[i].firstByteAt -
                                                                requests[i - 1].firstByteAt)
                          .count());
  pace.medianMs = Median(periods);
  pace.p99Ms = Quantile(periods, 0.99);
  return pace;
}

// ser2net in front of the pseudo-terminal, listening once the call returns; null if it did not.
std::unique_ptr<TChildProgram> StartGateway(const std::string& slave, std::uint16_t port,
                                            const std::string& config) {
  {
    std::ofstream out(config);
    out << "connection: &telnet\n"
        << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port << "\n"
        << "  connector: serialdev," << slave << ",9600n81,local\n"
        << "  options:\n"
        << "    chardelay: false\n";
  }
  // -n -d: in the foreground; -u: no UUCP lock files in /var/lock.
  auto gateway = std::make_unique<TChildProgram>(
      kSer2net, std::vector<std::string>{kSer2net, "-n", "-d", "-u", "-c", config});
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!Listening(port)) {
    if (Clock::now() > deadline || gateway->Wait(milliseconds(10))) return nullptr;
  }
  return gateway;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 200;
  int gapMs = 5;
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--count") count = std::atoi(argv[i + 1]);
    if (option == "--gap") gapMs = std::atoi(argv[i + 1]);
  }
  const std::string n = " (n=" + std::to_string(count) + ")";
  if (access(kSer2net, X_OK) != 0) {
    PrintRow("tarvi-cli through ser2net: not run (ser2net is missing: scripts/install-deps)", "-",
             "-", "-", "-");
    return 0;
  }

  sim::TVirtualBus bus;
  sim::TVirtualDevice& device = bus.AddDevice({});
  bus.Start();
  const double lineMs = std::chrono::duration<double, std::milli>(sim::CharTime(9600) * (8 + 19) +
                                                                  device.Turnaround())
                            .count();

  const std::optional<TPace> before = Watch(device, bus.SlavePath(), count, gapMs);
  const std::uint16_t port = FreeLoopbackPort();
  const std::string config = "/tmp/bench_gateway." + std::to_string(getpid()) + ".yaml";
  std::optional<TPace> through;
  {
    std::unique_ptr<TChildProgram> gateway = StartGateway(bus.SlavePath(), port, config);
    if (gateway) {
      through = Watch(device, "rfc2217://127.0.0.1:" + std::to_string(port), count, gapMs);
      gateway->Signal(SIGTERM);
      gateway->Wait(milliseconds(5000));
    }
  }
  std::remove(config.c_str());
  const std::optional<TPace> after = Watch(device, bus.SlavePath(), count, gapMs);

  const auto row = [&](const std::string& what, const std::optional<TPace>& pace) {
    if (!pace) {
      PrintRow(what + n + ": FAILED", "-", "-", "-", "-");
      return;
    }
    PrintRow(what + n + (pace->failures.empty() ? "" : " [" + pace->failures + "]"),
             Fixed(pace->medianMs, 2) + " ms median a read, p99 " + Fixed(pace->p99Ms, 2) + " ms",
             Fixed(lineMs, 2) + " ms on the line (request + turnaround + reply)",
             Fixed(pace->medianMs / lineMs, 4), "-");
  };
  row("tarvi-cli watch --interval 0, 9600 Bd, on the pty", before);
  row("same device through ser2net rfc2217 on loopback", through);
  row("same device on the pty again", after);
  if (before && through && after) {
    const double direct = (before->medianMs + after->medianMs) / 2;
    PrintRow("through ser2net against the pty, median period per read",
             Fixed(through->medianMs, 2) + " ms",
             Fixed(direct, 2) + " ms (mean of the two runs on the pty)",
             Fixed(through->medianMs / direct, 4), "<= 1.05");
  }
  return 0;
}
