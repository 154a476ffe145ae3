// tarvi-sim: the virtual device as a program, for the demo, scripts and end-to-end tests.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "sim/modbus_slave.h"
#include "sim/sim_options.h"
#include "sim/trace_format.h"
#include "sim/virtual_bus.h"

namespace {

void PrintLine(std::FILE* stream, const std::string& line) {
  std::fputs((line + "\n").c_str(), stream);
  std::fflush(stream);
}

sim::TBusOptions BusOptions(const sim::TSimOptions& options, std::atomic<bool>& started) {
  const sim::Clock::time_point origin = sim::Clock::now();
  sim::TBusOptions bus;
  bus.linkPath = options.linkPath;
  bus.replugAfter = options.replugAfter;
  bus.frameSilence = options.frameSilence;
  bus.echo = options.echo;
  bus.usbLatency = options.usbLatency;
  const bool verbose = options.verbose;
  bus.trace = [verbose, origin, &started](const sim::TTraceEvent& event) {
    using TKind = sim::TTraceEvent::TKind;
    // Without --verbose only the changes of the adapter are worth a line; the first plug-in is
    // the ready line on stdout.
    const bool adapter = event.kind == TKind::kHangUp || event.kind == TKind::kError ||
                         (event.kind == TKind::kPlugIn && started.load());
    if (verbose || adapter) PrintLine(stderr, sim::FormatTrace(event, origin));
  };
  return bus;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  sim::TSimOptions options;
  try {
    options = sim::ParseSimOptions(args);
  } catch (const sim::TUsageError& error) {
    std::fprintf(stderr, "tarvi-sim: %s\nTry 'tarvi-sim --help'.\n", error.what());
    return 2;
  }
  if (options.help) {
    std::fputs(sim::SimUsage().c_str(), stdout);
    return 0;
  }

  // The signals are blocked in every thread (the bus thread inherits the mask) and taken here.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
    sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a reader of our output that went away must not end the line

  try {
    std::atomic<bool> started{false};
    sim::TVirtualBus bus(BusOptions(options, started));
    for (const sim::TDeviceSpec& spec : options.devices) {
      sim::TVirtualDevice& device = bus.AddDevice(spec.config);
      for (std::size_t r = 0; r < spec.registers.size(); ++r)
        if (spec.registers[r]) device.SetRegister(r, *spec.registers[r]);
      device.SetFaults(spec.faults);
      device.SetExtraTurnaround(spec.extraTurnaround);
      device.SetMoveDelay(spec.moveDelay);
    }
    bus.Start();
    if (!options.pollAddresses.empty()) {
      // The panel polls at the rate of the first device.
      const std::uint32_t rate = sim::RateOfBaudCode(options.devices.front().config.baudCode);
      sim::TMasterScript script{.rate = rate, .steps = {}, .repeat = 0};
      for (const std::uint8_t address : options.pollAddresses) {
        std::vector<std::uint8_t> read{address, 3, 0, 0, 0, 7};
        sim::AppendCrc(read);
        script.steps.push_back({.frame = read,
                                .replyWithin = std::chrono::milliseconds(350),
                                .pause = options.pollPause});
      }
      bus.RunMaster(script);
    }
    started.store(true);
    std::string ready = bus.SlavePath();
    if (!bus.LinkPath().empty()) ready += " " + bus.LinkPath();
    PrintLine(stdout, ready);

    for (;;) {
      siginfo_t info;
      const int received = sigwaitinfo(&signals, &info);
      if (received < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (received == SIGINT || received == SIGTERM) break;
      try {
        if (received == SIGUSR1) bus.HangUp();
        if (received == SIGUSR2) bus.Replug();
      } catch (const std::exception& error) {
        PrintLine(stderr, std::string("tarvi-sim: re-plug failed: ") + error.what());
      }
    }
    bus.Stop();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarvi-sim: %s\n", error.what());
    return 1;
  }
  return 0;
}
