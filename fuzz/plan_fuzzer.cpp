// The commissioning plan parser: any bytes in, a plan out, never a crash or a read outside the
// text. Properties: a plan has rows to carry out or errors that refuse it; every row holds values
// the device knows (address 1..247, a rate of the family, modes 0 and 2..10) and asks for
// something; every error names a line of the text (or 0) and says something; no device is planned
// twice.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>

#include "bus/plan.h"
#include "fuzz/property_check.h"
#include "protocol/baud_rates.h"
#include "protocol/device_modes.h"

namespace {

bool KnownMode(const std::optional<unsigned>& mode) {
  return !mode || IsOfferedMode(*mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TPlan plan = ParsePlan(text);
  CHECK(!plan.rows.empty() || !plan.errors.empty());  // a plan is carried out or refused

  int lines = 1;
  for (const char c : text)
    if (c == '\n') ++lines;
  for (const TPlanError& error : plan.errors) {
    CHECK(error.line >= 0 && error.line <= lines);
    CHECK(!error.message.empty());
  }

  std::set<std::pair<std::string, unsigned>> devices;
  int previousLine = 0;
  for (const TPlanRow& row : plan.rows) {
    CHECK(row.line > previousLine && row.line <= lines);
    previousLine = row.line;
    CHECK(!row.port.empty());
    CHECK(row.address >= 1 && row.address <= 247);
    CHECK(row.baudIndex < BaudTable.size());
    const TWantedSettings& wanted = row.wanted;
    CHECK(KnownMode(wanted.Of("power_up")));
    CHECK(KnownMode(wanted.Of("on_command")));
    CHECK(!wanted.Of("remember") || *wanted.Of("remember") <= 1);
    CHECK(!wanted.Of("address") || (*wanted.Of("address") >= 1 && *wanted.Of("address") <= 247));
    CHECK(!wanted.Of("rate") || BaudIndexOfCode(*wanted.Of("rate")));
    CHECK(!wanted.Empty());
    CHECK(devices.insert({row.port, row.address}).second);
  }
  return 0;
}
