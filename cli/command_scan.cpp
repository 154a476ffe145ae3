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
#include "network/network_port_name.h"
#include "protocol/baud_rates.h"
#include "protocol/device_models.h"
#include "protocol/frame.h"
#include "protocol/parameter_block.h"
#include "protocol/registers.h"
#include "protocol/reply_timing.h"
#include "protocol/traffic_lines.h"

const char kScanUsage[] =
    N_(R"(Usage: tarvi-cli scan -p PORT [--rate RATE|LIST|all] [--from N] [--to N] [OPTION]...
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
      --gap MS         the silence that ends bytes that cannot become the reply (as for read)
      --echo           the adapter echoes each request: drop that copy (as for read)
      --rs485          RTS on while sending and off after, by the driver (as for read)
      --json           one JSON object per line: each find and other device as it comes, then
                       a summary
      --trace          every request and reply on standard error
  -q, --quiet          no output on success
  -h, --help           this help
A progress bar with the address, the rate and the time left is shown on standard error when it
is a terminal. Exit status 0 when a device of the family was found, 1 when none answered.
)");

namespace {

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

struct TScanOptions {
  std::vector<std::uint8_t> rates;
  std::uint8_t from = kLowestAddress;
  std::uint8_t to = kHighestAddress;
  std::chrono::milliseconds delay{kDefaultSearchDelayMs};
  bool firstOnly = false;
};

// scan's own options. Throws EUsage.
TScanOptions ReadScanOptions(const TArguments& arguments) {
  TScanOptions scan;
  scan.rates = ParseRates(arguments.Value("rate").value_or(BaudText(kDefaultBaudIndex)));
  scan.from = ReadBound(arguments, "from", kLowestAddress);
  scan.to = ReadBound(arguments, "to", kHighestAddress);
  if (scan.from > scan.to)
    throw EUsage(Format(Tr("--from %u is above --to %u"), unsigned{scan.from}, unsigned{scan.to}));
  scan.delay = ReadMilliseconds(arguments, "delay", scan.delay);
  if (scan.delay.count() == 0) throw EUsage(Tr("--delay must be at least 1 ms"));
  scan.firstOnly = arguments.Has("first");
  return scan;
}

// One scan: the probes address by address and rate by rate, each result reported as it comes
// (a line, or a JSON object line), the progress bar between them, the summary at the end.
class TScan {
 public:
  TScan(TSession& session, const TScanOptions& options)
      : session_(session), options_(options), started_(std::chrono::steady_clock::now()) {
    showBar_ = StderrIsTerminal() && !session.Options().quiet;
    session_.BeforeOutput = [this] {
      if (bar_.Shown()) std::cerr << bar_.Clear() << std::flush;
    };
  }

  void Run() {
    // Through a raw TCP port every probe goes at the gateway's rate, so a list of rates would
    // find the same devices once for each: scan once, at the rate of -r.
    const std::string& port = session_.Options().port;
    if (!RateReachesLine(port) && options_.rates.size() > 1) {
      session_.Warn(Format(Tr("%s: the rate does not reach the line through a raw TCP port: the "
                              "gateway's rate applies; scanning once, at %s Bd"),
                           port.c_str(), BaudText(session_.Options().baudIndex)));
      options_.rates = {session_.Options().baudIndex};
    }
    for (std::size_t r = 0; r < options_.rates.size() && !stopped_; ++r) {
      TDeviceLine& line = session_.Line(session_.Options().port, options_.rates[r]);
      for (unsigned address = options_.from; address <= options_.to && !stopped_; ++address) {
        if (StopRequested()) {
          stopped_ = true;
          break;
        }
        ShowProgress(r, address);
        try {
          Report(line, options_.rates[r], ProbeOnceMore(line, address));
        } catch (const TDeviceFault&) {
          session_.BeforeOutput();  // the bar goes before the message (an echoing adapter)
          throw;
        }
      }
    }
    session_.BeforeOutput();
  }

  TExitStatus Summarise() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    TJsonWriter json;
    json.BeginObject().Member("event", "end").Member("found", found_).Member("other", others_);
    json.Member("probes", probes_).Key("seconds").Number(seconds, 3);
    json.Member("stopped", StopRequested());
    session_.Emit(json.EndObject().Text());
    session_.Say(Format(Tr("%u of the family found, %u of other families; %u probes in %.1f s%s"),
                        found_, others_, probes_, seconds,
                        StopRequested() ? Tr(" (stopped)") : ""));
    if (found_ > 0) return TExitStatus::Done;
    Complain(Tr("no device of the family answered"));
    return TExitStatus::DeviceFailed;
  }

 private:
  // Somebody is there but the reply was damaged (noise, or a reply cut by a pause within it):
  // asks once more before calling it garbled.
  TProbeResult ProbeOnceMore(TDeviceLine& line, unsigned address) {
    const auto to = static_cast<std::uint8_t>(address);
    TProbeResult result = Probe(line, to, options_.delay);
    ++probes_;
    if (result.kind == TProbeResult::TKind::Garbled) {
      result = Probe(line, to, options_.delay);
      ++probes_;
    }
    return result;
  }

  void ShowProgress(std::size_t r, unsigned address) {
    if (!showBar_) return;
    const std::vector<std::uint8_t>& rates = options_.rates;
    const unsigned perRate = unsigned{options_.to} - options_.from + 1u;
    double left = (options_.to - address + 1) * ProbeSeconds(options_.delay, rates[r]);
    for (std::size_t later = r + 1; later < rates.size(); ++later)
      left += perRate * ProbeSeconds(options_.delay, rates[later]);
    const TProgress progress{probes_,
                             perRate * static_cast<unsigned>(rates.size()),
                             address,
                             BaudTable[rates[r]],
                             static_cast<unsigned>(r + 1),
                             static_cast<unsigned>(rates.size()),
                             std::chrono::seconds(static_cast<long long>(left + 0.5))};
    std::cerr << bar_.Draw(ProgressLine(progress, TerminalColumns())) << std::flush;
  }

  void Report(TDeviceLine& line, std::uint8_t baudIndex, const TProbeResult& result) {
    switch (result.kind) {
      case TProbeResult::TKind::Silent:
        break;
      case TProbeResult::TKind::Garbled:
        ReportGarbled(result, BaudTable[baudIndex]);
        break;
      case TProbeResult::TKind::Other:
        if (reported_.insert({result.address, baudIndex}).second) ReportOther(result, baudIndex);
        break;
      case TProbeResult::TKind::Family:
        if (reported_.insert({result.address, baudIndex}).second)
          ReportFound(line, result, baudIndex);
        break;
    }
  }

  void ReportGarbled(const TProbeResult& result, unsigned rate) {
    session_.Warn(Format(Tr("garbled reply at address %u, %u Bd (CRC error): %s"),
                         unsigned{result.address}, rate,
                         ReplyLines(result.bytes.data(), result.bytes.size())[0].c_str()));
    TJsonWriter json;
    json.BeginObject().Member("event", "garbled").Member("address", unsigned{result.address});
    json.Member("rate", rate).Member("bytes", static_cast<unsigned>(result.bytes.size()));
    session_.Emit(json.EndObject().Text());
  }

  void ReportOther(const TProbeResult& result, std::uint8_t baudIndex) {
    ++others_;
    const unsigned rate = BaudTable[baudIndex];
    TJsonWriter json;
    json.BeginObject().Member("event", "other").Member("address", unsigned{result.address});
    json.Member("rate", rate);
    std::string what;
    if (result.exceptionCode) {
      json.Member("exception", unsigned{*result.exceptionCode});
      what = Format(Tr("exception code %u"), unsigned{*result.exceptionCode});
    } else if (result.bytes.size() >= static_cast<std::size_t>(kShortestRegisterReply) &&
               result.bytes[1] == kFunctionReadRegisters) {
      json.Member("id", result.id);
      what = Format("id %u", result.id);
    } else {
      what = Format(Tr("function %u"), unsigned{result.bytes[1]});
    }
    session_.Emit(json.EndObject().Text());
    session_.Say(Format(Tr("address %u, %u Bd: a device of another family (%s)"),
                        unsigned{result.address}, rate, what.c_str()));
  }

  void ReportFound(TDeviceLine& line, const TProbeResult& result, std::uint8_t baudIndex) {
    ++found_;
    const unsigned rate = BaudTable[baudIndex];
    TJsonWriter json;
    json.BeginObject().Member("event", "found");
    json.Member("address", unsigned{result.address}).Member("rate", rate);
    json.Member("model", ModelName(result.id)).Member("id", result.id);
    std::string details;
    try {
      const TBlockReading reading =
          ReadBlockOnceMore(line, {result.address, baudIndex, session_.Options().timeout, {}});
      json.Key("block");
      WriteBlockJson(json, reading.block);
      details = BlockSummary(reading.block);
    } catch (const TDeviceFault& fault) {
      json.Key("block").Null();
      json.Member("block_error", fault.what());
      details = Format(Tr("parameter block not read: %s"), fault.what());
    }
    session_.Emit(json.EndObject().Text());
    session_.Say(Format(Tr("found %s at address %u, %u Bd: %s"), ModelName(result.id),
                        unsigned{result.address}, rate, details.c_str()));
    if (options_.firstOnly) stopped_ = true;
  }

  // The block of a find, asked for once more after a CRC error, as a probe is.
  static TBlockReading ReadBlockOnceMore(TDeviceLine& line, const TTarget& target) {
    try {
      return ReadParameterBlock(line, target);
    } catch (const TDeviceFault& fault) {
      if (fault.Kind != TFaultKind::CrcError) throw;
      return ReadParameterBlock(line, target);
    }
  }

  TSession& session_;
  TScanOptions options_;  // a copy: a raw network port narrows its rates
  const std::chrono::steady_clock::time_point started_;
  bool showBar_ = false;
  TProgressBar bar_{StderrTakesEscapes()};
  bool stopped_ = false;
  unsigned probes_ = 0;
  unsigned found_ = 0;
  unsigned others_ = 0;
  std::set<std::pair<unsigned, unsigned>> reported_;  // (address, rate index)
};

}  // namespace

TExitStatus RunScan(const TInvocation& invocation) {
  const TScanOptions options = ReadScanOptions(invocation.arguments);
  InstallStopHandler();
  return RunReporting(invocation.common, [&](TSession& session) {
    TScan scan(session, options);
    scan.Run();
    return scan.Summarise();
  });
}
