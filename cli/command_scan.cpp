// scan: every device of the family on the line, at one rate, a list of rates, or all eight.
#include <iostream>

#include "bus/device_requests.h"
#include "bus/messages.h"
#include "bus/scan.h"
#include "bus/values.h"
#include "cli/block_text.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/platform.h"
#include "cli/progress_bar.h"
#include "cli/session.h"
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

// One scan's output: each result as it comes (a line, or a JSON object line), the progress bar
// between them, the summary at the end.
class TScanReport : public TScanObserver {
 public:
  TScanReport(TSession& session, const TScanOptions& options)
      : session_(session), options_(options), started_(std::chrono::steady_clock::now()) {
    showBar_ = StderrIsTerminal() && !session.Options().quiet;
    session_.BeforeOutput = [this] {
      if (bar_.Shown()) std::cerr << bar_.Clear() << std::flush;
    };
  }

  void Run() {
    const TCommon& common = session_.Options();
    TScanPlan plan;
    plan.port = common.port;
    plan.rates = options_.rates;
    plan.from = options_.from;
    plan.to = options_.to;
    plan.delay = options_.delay;
    plan.blockTimeout = common.timeout;
    plan.firstOnly = options_.firstOnly;
    plan.rateOfRawPort = common.baudIndex;
    try {
      tally_ = Scan(session_.Lines(), std::move(plan), *this, StopToken());
    } catch (const TDeviceFault&) {
      session_.BeforeOutput();  // the bar goes before the message (an echoing adapter)
      throw;
    }
    session_.BeforeOutput();
  }

  TExitStatus Summarise() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    TJsonWriter json;
    json.BeginObject().Member("event", "end").Member("found", tally_.found);
    json.Member("other", tally_.others);
    json.Member("probes", tally_.probes).Key("seconds").Number(seconds, 3);
    json.Member("stopped", StopRequested());
    session_.Emit(json.EndObject().Text());
    session_.Say(Format(Tr("%u of the family found, %u of other families; %u probes in %.1f s%s"),
                        tally_.found, tally_.others, tally_.probes, seconds,
                        StopRequested() ? Tr(" (stopped)") : ""));
    if (tally_.found > 0) return TExitStatus::Done;
    Complain(Tr("no device of the family answered"));
    return TExitStatus::DeviceFailed;
  }

  void Progress(const TScanProgress& at) override {
    if (!showBar_) return;
    const TProgress progress{at.probes,     at.total, at.address, BaudTable[at.baudIndex],
                             at.rateNumber, at.rates, at.left};
    std::cerr << bar_.Draw(ProgressLine(progress, TerminalColumns())) << std::flush;
  }

  void Warning(const std::string& line) override { session_.Warn(line); }

  void Garbled(const TProbeResult& result, std::uint8_t baudIndex) override {
    const unsigned rate = BaudTable[baudIndex];
    session_.Warn(Format(Tr("garbled reply at address %u, %u Bd (CRC error): %s"),
                         unsigned{result.address}, rate,
                         ReplyLines(result.bytes.data(), result.bytes.size())[0].c_str()));
    TJsonWriter json;
    json.BeginObject().Member("event", "garbled").Member("address", unsigned{result.address});
    json.Member("rate", rate).Member("bytes", static_cast<unsigned>(result.bytes.size()));
    session_.Emit(json.EndObject().Text());
  }

  void OtherFamily(const TProbeResult& result, std::uint8_t baudIndex) override {
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

  void Found(const TFind& find) override {
    const unsigned rate = BaudTable[find.baudIndex];
    TJsonWriter json;
    json.BeginObject().Member("event", "found");
    json.Member("address", unsigned{find.address}).Member("rate", rate);
    json.Member("model", ModelName(find.id)).Member("id", find.id);
    std::string details;
    if (find.reading) {
      json.Key("block");
      WriteBlockJson(json, find.reading->block);
      details = BlockSummary(find.reading->block);
    } else {
      const char* fault = find.blockFault ? find.blockFault->what() : "";
      json.Key("block").Null();
      json.Member("block_error", fault);
      details = Format(Tr("parameter block not read: %s"), fault);
    }
    session_.Emit(json.EndObject().Text());
    session_.Say(Format(Tr("found %s at address %u, %u Bd: %s"), ModelName(find.id),
                        unsigned{find.address}, rate, details.c_str()));
  }

 private:
  TSession& session_;
  const TScanOptions& options_;
  const std::chrono::steady_clock::time_point started_;
  bool showBar_ = false;
  TProgressBar bar_{StderrTakesEscapes()};
  TScanTally tally_;
};

}  // namespace

TExitStatus RunScan(const TInvocation& invocation) {
  const TScanOptions options = ReadScanOptions(invocation.arguments);
  InstallStopHandler();
  return RunReporting(invocation.common, [&](TSession& session) {
    TScanReport scan(session, options);
    scan.Run();
    return scan.Summarise();
  });
}
