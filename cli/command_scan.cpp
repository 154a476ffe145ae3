// scan: every device of the family on the line, at one rate, a list of rates, or all eight.
#include <iostream>
#include <set>

#include "cli/block_text.h"
#include "cli/commands.h"
#include "cli/device_requests.h"
#include "cli/json_writer.h"
#include "cli/messages.h"
#include "cli/platform.h"
#include "cli/progress_bar.h"
#include "cli/session.h"
#include "cli/values.h"
#include "protocol/baud_rates.h"
#include "protocol/device_models.h"
#include "protocol/frame.h"
#include "protocol/reply_timing.h"
#include "protocol/traffic_lines.h"

namespace {

constexpr const char* kScanUsage =
    R"(Usage: tarvi-cli scan -p PORT [--rate RATE|LIST|all] [--from N] [--to N] [OPTION]...
Probes the bus addresses one by one (a read of register 0, the device id) and reports every
device of the family that answers, at once, with the rate it answered at and its parameter
block. A valid reply from a device of another family is reported as such; a garbled reply is
asked for once more before it is reported.

  -p, --port PORT      the serial port
  -r, --rate RATES     the rate to scan at (default 9600), a list (9600,19200) or 'all' (the
                       eight rates, 1200 first)
      --from N         the first address (default 1)
      --to N           the last address (default 247)
      --first          stop at the first device of the family
      --delay MS       how long each address is given for its reply to begin (default 150);
                       a reply that has begun is read to its end
      --timeout MS     the wait for each parameter block read after a find (default by rate)
      --gap MS         the silence that ends a reply shorter than expected (default 5)
      --json           one JSON object per line: each find and other device as it comes, then
                       a summary
      --trace          every request and reply on standard error
  -q, --quiet          no output on success
  -h, --help           this help
A progress bar with the address, the rate and the time left is shown on standard error when it
is a terminal. Exit status 0 when a device of the family was found, 1 when none answered.
)";

std::vector<std::uint8_t> ParseRates(const std::string& text) {
  std::vector<std::uint8_t> rates;
  if (text == "all") {
    for (std::uint8_t i = 0; i < BaudTable.size(); ++i)
      rates.push_back(i);
    return rates;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
    const auto index = ParseRate(item);
    if (!index) throw EUsage(RateFault("--rate", item));
    if (std::find(rates.begin(), rates.end(), *index) == rates.end()) rates.push_back(*index);
    if (comma == std::string::npos) return rates;
    start = comma + 1;
  }
}

std::uint8_t ReadBound(const TArguments& arguments, const char* option, std::uint8_t fallback) {
  const auto text = arguments.Value(option);
  if (!text) return fallback;
  const auto value = ParseAddress(*text);
  if (!value) throw EUsage(AddressFault(std::string("--") + option, *text));
  return *value;
}

// Nominal time of a fruitless probe: the wait plus the request on the line (10 bits a byte).
double ProbeSeconds(std::chrono::milliseconds delay, std::uint8_t baudIndex) {
  return static_cast<double>(delay.count()) / 1000.0 + kRequestLength * 10.0 / BaudTable[baudIndex];
}

}  // namespace

int RunScan(TWords words) {
  static constexpr TOptionSpec kOptions[] = {
      kPortOption,       kRateOption,     kJsonOption,         kTraceOption,
      kTimeoutOption,    kQuietOption,    kHelpOption,         kGapOption,
      {"from", 0, true}, {"to", 0, true}, {"first", 0, false}, {"delay", 0, true}};
  const TArguments arguments(words, kOptions);
  if (arguments.Has("help")) {
    std::cout << Tr(kScanUsage);
    return 0;
  }
  if (!arguments.Positional().empty())
    throw EUsage(Format(Tr("unexpected argument '%s'"), arguments.Positional().front().c_str()));
  const std::vector<std::uint8_t> rates =
      ParseRates(arguments.Value("rate").value_or(BaudText(kDefaultBaudIndex)));
  // The common options, but for -r, which names one or more rates here.
  TCommon options;
  options.port = arguments.Value("port").value_or("");
  if (options.port.empty())
    throw EUsage(Tr("which port? give it with -p PORT ('tarvi-cli ports' lists them)"));
  options.gap = ReadGap(arguments);
  options.json = arguments.Has("json");
  options.trace = arguments.Has("trace");
  options.quiet = arguments.Has("quiet");
  if (arguments.Has("timeout")) {
    options.timeout = ReadMilliseconds(arguments, "timeout", std::chrono::milliseconds(0));
    if (options.timeout->count() == 0) throw EUsage(Tr("--timeout must be at least 1 ms"));
  }
  const std::uint8_t from = ReadBound(arguments, "from", 1);
  const std::uint8_t to = ReadBound(arguments, "to", 247);
  if (from > to)
    throw EUsage(Format(Tr("--from %u is above --to %u"), unsigned{from}, unsigned{to}));
  const std::chrono::milliseconds delay =
      ReadMilliseconds(arguments, "delay", std::chrono::milliseconds(kDefaultSearchDelayMs));
  if (delay.count() == 0) throw EUsage(Tr("--delay must be at least 1 ms"));
  const bool firstOnly = arguments.Has("first");

  InstallStopHandler();
  return RunReporting(options, [&] {
    TSession session(options);
    const bool showBar = StderrIsTerminal() && !options.quiet;
    bool barShown = false;
    session.BeforeOutput = [&] {
      if (barShown) std::cerr << kClearProgressLine << std::flush;
      barShown = false;
    };

    const unsigned perRate = unsigned{to} - from + 1u;
    const unsigned total = perRate * static_cast<unsigned>(rates.size());
    unsigned probes = 0;
    unsigned found = 0;
    unsigned others = 0;
    bool stopped = false;
    std::set<std::pair<unsigned, unsigned>> reported;  // (address, rate index)
    const auto started = std::chrono::steady_clock::now();

    for (std::size_t r = 0; r < rates.size() && !stopped; ++r) {
      const std::uint8_t baudIndex = rates[r];
      const unsigned rate = BaudTable[baudIndex];
      TDeviceLine& line = session.Line(options.port, baudIndex);
      for (unsigned address = from; address <= to; ++address) {
        if (StopRequested()) {
          stopped = true;
          break;
        }
        if (showBar) {
          double left = (to - address + 1) * ProbeSeconds(delay, baudIndex);
          for (std::size_t later = r + 1; later < rates.size(); ++later)
            left += perRate * ProbeSeconds(delay, rates[later]);
          const TProgress progress{probes,
                                   total,
                                   address,
                                   rate,
                                   static_cast<unsigned>(r + 1),
                                   static_cast<unsigned>(rates.size()),
                                   std::chrono::seconds(static_cast<long long>(left + 0.5))};
          std::cerr << '\r' << ProgressLine(progress, TerminalColumns()) << std::flush;
          barShown = true;
        }
        TProbeResult result = Probe(line, static_cast<std::uint8_t>(address), delay);
        ++probes;
        // Somebody is there but the reply was damaged (noise, or a reply cut by a pause within
        // it): ask once more before calling it garbled.
        if (result.kind == TProbeResult::TKind::Garbled) {
          result = Probe(line, static_cast<std::uint8_t>(address), delay);
          ++probes;
        }
        switch (result.kind) {
          case TProbeResult::TKind::Silent:
            break;
          case TProbeResult::TKind::Garbled: {
            session.Warn(Format(Tr("garbled reply at address %u, %u Bd (CRC error): %s"), address,
                                rate,
                                ReplyLines(result.bytes.data(), result.bytes.size())[0].c_str()));
            TJsonWriter json;
            json.BeginObject().Member("event", "garbled").Member("address", address);
            json.Member("rate", rate).Member("bytes", static_cast<unsigned>(result.bytes.size()));
            session.Emit(json.EndObject().Text());
            break;
          }
          case TProbeResult::TKind::Other: {
            if (!reported.insert({result.address, baudIndex}).second) break;
            ++others;
            TJsonWriter json;
            json.BeginObject().Member("event", "other").Member("address", unsigned{result.address});
            json.Member("rate", rate);
            std::string what;
            if (result.exceptionCode) {
              json.Member("exception", unsigned{*result.exceptionCode});
              what = Format(Tr("exception code %u"), unsigned{*result.exceptionCode});
            } else if (result.bytes.size() >= 7 && result.bytes[1] == kFunctionReadRegisters) {
              json.Member("id", result.id);
              what = Format("id %u", result.id);
            } else {
              what = Format(Tr("function %u"), unsigned{result.bytes[1]});
            }
            session.Emit(json.EndObject().Text());
            session.Say(Format(Tr("address %u, %u Bd: a device of another family (%s)"),
                               unsigned{result.address}, rate, what.c_str()));
            break;
          }
          case TProbeResult::TKind::Family: {
            if (!reported.insert({result.address, baudIndex}).second) break;
            ++found;
            TJsonWriter json;
            json.BeginObject().Member("event", "found");
            json.Member("address", unsigned{result.address}).Member("rate", rate);
            json.Member("model", ModelName(result.id)).Member("id", result.id);
            std::string details;
            try {
              const TTarget target{result.address, baudIndex, options.timeout};
              TBlockReading reading;
              try {
                reading = ReadParameterBlock(line, target);
              } catch (const TDeviceFault& fault) {
                if (fault.Kind != TFaultKind::CrcError) throw;
                reading = ReadParameterBlock(line, target);  // once more, as for a probe
              }
              json.Key("block");
              WriteBlockJson(json, reading.block);
              details = BlockSummary(reading.block);
            } catch (const TDeviceFault& fault) {
              json.Key("block").Null();
              json.Member("block_error", fault.what());
              details = Format(Tr("parameter block not read: %s"), fault.what());
            }
            session.Emit(json.EndObject().Text());
            session.Say(Format(Tr("found %s at address %u, %u Bd: %s"), ModelName(result.id),
                               unsigned{result.address}, rate, details.c_str()));
            if (firstOnly) stopped = true;
            break;
          }
        }
        if (stopped) break;
      }
    }
    if (session.BeforeOutput) session.BeforeOutput();

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    TJsonWriter json;
    json.BeginObject().Member("event", "end").Member("found", found).Member("other", others);
    json.Member("probes", probes).Key("seconds").Number(seconds, 3);
    json.Member("stopped", StopRequested());
    session.Emit(json.EndObject().Text());
    session.Say(Format(Tr("%u of the family found, %u of other families; %u probes in %.1f s%s"),
                       found, others, probes, seconds, StopRequested() ? Tr(" (stopped)") : ""));
    if (found == 0) {
      std::cerr << kProgramName << ": " << Tr("no device of the family answered") << '\n';
      return 1;
    }
    return 0;
  });
}
