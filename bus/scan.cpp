#include "bus/scan.h"

#include <set>
#include <utility>

#include "bus/messages.h"
#include "network/network_port_name.h"
#include "protocol/baud_rates.h"
#include "protocol/frame.h"

double ProbeSeconds(std::chrono::milliseconds delay, std::uint8_t baudIndex) {
  return static_cast<double>(delay.count()) / 1000.0 + kRequestLength * 10.0 / BaudTable[baudIndex];
}

namespace {

class TScanRun {
 public:
  TScanRun(TLines& lines, TScanPlan plan, TScanObserver& observer)
      : lines_(lines), plan_(std::move(plan)), observer_(observer) {}

  TScanTally Run(const std::stop_token& stop) {
    // Through a raw TCP port every probe goes at the gateway's rate, so a list of rates would
    // find the same devices once for each: scan once, at the one rate given for it.
    if (!RateReachesLine(plan_.port) && plan_.rates.size() > 1) {
      observer_.Warning(Format(Tr("%s: the rate does not reach the line through a raw TCP port: "
                                  "the gateway's rate applies; scanning once, at %s Bd"),
                               plan_.port.c_str(), BaudText(plan_.rateOfRawPort)));
      plan_.rates = {plan_.rateOfRawPort};
    }
    for (std::size_t r = 0; r < plan_.rates.size() && !ended_; ++r) {
      TDeviceLine& line = lines_.Line(plan_.port, plan_.rates[r]);
      for (unsigned address = plan_.from; address <= plan_.to && !ended_; ++address) {
        if (stop.stop_requested()) {
          ended_ = true;
          break;
        }
        observer_.Progress(ProgressAt(r, address));
        Report(line, plan_.rates[r], ProbeOnceMore(line, static_cast<std::uint8_t>(address)));
      }
    }
    return tally_;
  }

 private:
  // Somebody is there but the reply was damaged (noise, or a reply cut by a pause within it):
  // asks once more before calling it garbled.
  TProbeResult ProbeOnceMore(TDeviceLine& line, std::uint8_t address) {
    TProbeResult result = Probe(line, address, plan_.delay);
    ++tally_.probes;
    if (result.kind == TProbeResult::TKind::Garbled) {
      result = Probe(line, address, plan_.delay);
      ++tally_.probes;
    }
    return result;
  }

  TScanProgress ProgressAt(std::size_t r, unsigned address) const {
    const std::vector<std::uint8_t>& rates = plan_.rates;
    const unsigned perRate = unsigned{plan_.to} - plan_.from + 1u;
    double left = (plan_.to - address + 1) * ProbeSeconds(plan_.delay, rates[r]);
    for (std::size_t later = r + 1; later < rates.size(); ++later)
      left += perRate * ProbeSeconds(plan_.delay, rates[later]);
    return {tally_.probes,
            perRate * static_cast<unsigned>(rates.size()),
            address,
            rates[r],
            static_cast<unsigned>(r + 1),
            static_cast<unsigned>(rates.size()),
            std::chrono::seconds(static_cast<long long>(left + 0.5))};
  }

  void Report(TDeviceLine& line, std::uint8_t baudIndex, const TProbeResult& result) {
    switch (result.kind) {
      case TProbeResult::TKind::Silent:
        break;
      case TProbeResult::TKind::Garbled:
        observer_.Garbled(result, baudIndex);
        break;
      case TProbeResult::TKind::Other:
        if (reported_.insert({result.address, baudIndex}).second) {
          ++tally_.others;
          observer_.OtherFamily(result, baudIndex);
        }
        break;
      case TProbeResult::TKind::Family:
        if (reported_.insert({result.address, baudIndex}).second)
          ReportFound(line, result, baudIndex);
        break;
    }
  }

  void ReportFound(TDeviceLine& line, const TProbeResult& result, std::uint8_t baudIndex) {
    ++tally_.found;
    TFind find{result.address, baudIndex, result.id, std::nullopt, std::nullopt};
    try {
      find.reading = ReadBlockOnceMore(line, {result.address, baudIndex, plan_.blockTimeout, {}});
    } catch (const TDeviceFault& fault) {
      find.blockFault = fault;
    }
    observer_.Found(find);
    if (plan_.firstOnly) ended_ = true;
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

  TLines& lines_;
  TScanPlan plan_;  // a copy: a raw network port narrows its rates
  TScanObserver& observer_;
  TScanTally tally_;
  bool ended_ = false;
  std::set<std::pair<unsigned, unsigned>> reported_;  // (address, rate index)
};

}  // namespace

TScanTally Scan(TLines& lines, TScanPlan plan, TScanObserver& observer, std::stop_token stop) {
  return TScanRun(lines, std::move(plan), observer).Run(stop);
}
