// tarvi-cli monitor on a line kept busy back to back: a second master on the virtual line reads
// the parameter block of one device at 57600 Bd again and again, each request 3.5 characters
// after the reply before, for about 30 s, while the monitor listens on the port. Every frame the
// master sent and every reply must be in the monitor's summary (none lost, merged or garbled),
// and the monitor's processor time is set against the wall time.
//
// Usage: bench_monitor [--seconds S] [--gap MS]   (defaults 30 s, 60 ms)
//   --gap is the monitor's: the virtual line on a loaded machine now and then stalls for tens of
//   milliseconds inside a reply (its thread is held up), which a real line never does; with the
//   default cut (3.5 characters and 10 ms) such a reply is reported garbled. 0: the default.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/child_program.h"
#include "bench/figures.h"
#include "sim/line_timing.h"
#include "sim/modbus_slave.h"
#include "sim/virtual_bus.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The number after "key": in a JSON text (the summary is the monitor's last line); -1 if absent.
long Field(const std::string& text, const std::string& key) {
  const std::size_t at = text.find("\"" + key + "\":");
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + key.size() + 3, nullptr, 10);
}

double CpuSecondsOfChildren() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 30;
  int gapMs = 60;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--gap") == 0) gapMs = std::atoi(argv[i + 1]);
  }

  constexpr std::uint32_t kRate = 57600;
  sim::TVirtualBus bus;
  sim::TVirtualDevice& device = bus.AddDevice({.address = 5, .baudCode = 8});
  bus.Start();
  // Request, turnaround, reply, the master's 3.5 characters: the period of one exchange.
  const auto period =
      sim::CharTime(kRate) * (8 + 19) + device.Turnaround() + sim::FrameSilence(kRate);
  const auto exchanges = static_cast<unsigned>(std::chrono::seconds(seconds) / period);

  const std::string out = "/tmp/bench_monitor." + std::to_string(getpid());
  const std::string cli = BinDir() + "/tarvi-cli";
  const double cpuBefore = CpuSecondsOfChildren();
  TChildProgram monitor(cli,
                        {cli, "monitor", "-p", bus.SlavePath(), "-r", "57600", "--json", "--count",
                         std::to_string(2 * exchanges), "--duration", std::to_string(seconds * 3)},
                        {.path = out});
  const Clock::time_point listening = Clock::now();
  while (!bus.PortInUse() && Clock::now() - listening < std::chrono::seconds(10))
    std::this_thread::sleep_for(milliseconds(1));

  std::vector<std::uint8_t> read{5, 3, 0, 0, 0, 7};
  sim::AppendCrc(read);
  sim::TMasterScript script{.rate = kRate, .steps = {}, .repeat = exchanges};
  script.steps.push_back(
      {.frame = read, .replyWithin = milliseconds(350), .pause = milliseconds(0)});
  const Clock::time_point started = Clock::now();
  bus.RunMaster(script);
  const std::optional<int> status = monitor.Wait(std::chrono::seconds(seconds * 3 + 30));
  const double wall = std::chrono::duration<double>(Clock::now() - started).count();
  const double cpu = CpuSecondsOfChildren() - cpuBefore;
  const sim::TMasterTally master = bus.MasterTally();
  bus.StopMaster();

  std::ifstream file(out);
  std::string line;
  std::string summary;
  while (std::getline(file, line))
    if (line.rfind("{\"summary\"", 0) == 0) summary = line;
  if (status != 0 || summary.empty()) {
    PrintRow("tarvi-cli monitor, 57600 Bd back to back: FAILED (no summary)", "-", "-", "-", "-");
    return 1;
  }
  const long frames = Field(summary, "frames");
  const long requests = Field(summary, "requests");
  const long answers = Field(summary, "answers");
  const long faults = Field(summary, "garbled") + Field(summary, "too_close") +
                      Field(summary, "unsolicited") + Field(summary, "other") +
                      Field(summary, "no_answers") + Field(summary, "crc_errors");
  const long sent = static_cast<long>(master.frames + master.replies);
  const std::string gap = gapMs > 0 ? ", --gap " + std::to_string(gapMs) : ", default gap";
  PrintRow("tarvi-cli monitor, " + std::to_string(exchanges) + " reads back to back at 57600 Bd" +
               gap + ": frames heard (requests + replies)",
           std::to_string(frames) + " (" + std::to_string(requests) + " + " +
               std::to_string(answers) + "), " + std::to_string(faults) + " faults",
           std::to_string(sent) + " sent (" + std::to_string(master.frames) + " + " +
               std::to_string(master.replies) + ")",
           Fixed(static_cast<double>(frames) / static_cast<double>(sent), 4), "1, 0 faults");
  PrintRow("tarvi-cli monitor, same run: processor time against wall time",
           Fixed(cpu, 3) + " s of " + Fixed(wall, 1) + " s", "-",
           Fixed(100.0 * cpu / wall, 2) + " %", "< 5 %");
  // The monitor's lines stay for a look when something was missed.
  if (frames == sent && faults == 0) {
    std::remove(out.c_str());
    return 0;
  }
  std::fprintf(stderr, "bench_monitor: the monitor's output is in %s\n", out.c_str());
  return 1;
}
