// The soak: many exchanges of the real window against the virtual device, each with a fault
// drawn at random (or none), then one clean parameter query. Every exchange must end with exactly
// the verdict its fault calls for, nothing may stay busy, and the memory of the process must not
// grow beyond a small bound.
//
// TARVI_SOAK_EXCHANGES sets the number of exchanges (500 by default, the form CI runs),
// TARVI_SOAK_SEED the seed of the draw.
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "protocol/link_state.h"
#include "sim/crc16.h"
#include "system/main_thread_queue.h"
#include "tests/robustness/faulty_line.h"
#include "tests/support/event_loop_wait.h"

namespace {

using namespace std::chrono_literals;

const std::string kCrcError = "   : CRC ERROR.";
const std::string kTimeOut = "   : TIME OUT.";
const std::string kError = "   : ОШИБКА.";

struct FaultKind {
  const char* name;
  unsigned weight;
  std::string verdict;  // what the exchange must end in
  std::function<sim::TFaults(std::mt19937&)> make;
};

// Noise of a length that no whole read (8 bytes for an echo, 19 for the block) fits into, so
// that the reply after it never lines up with a read and every read holds some noise.
std::size_t GarbageLength(std::mt19937& random) {
  std::size_t n = std::uniform_int_distribution<std::size_t>(20, 600)(random);
  while (n % 8 == 0 || n % 19 == 0)
    ++n;
  return n;
}

// The reply bytes as the log shows them.
std::vector<std::uint8_t> ShownReply(const std::vector<std::string>& log) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 1; i < log.size(); ++i) {
    const bool rx = i == 1 ? log[i].rfind("RX :", 0) == 0 : log[i].rfind("     ", 0) == 0;
    if (!rx) break;
    for (std::size_t p = 5; p + 2 <= log[i].size(); p += 3)
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(log[i].substr(p, 2), nullptr, 16)));
  }
  return bytes;
}

// Silent faults cost a whole 350 ms time-out each, so they stay a small share.
const std::vector<FaultKind>& FaultKinds() {
  static const std::vector<FaultKind> kinds = {
      {"none", 55, kOk, [](std::mt19937&) { return sim::TFaults{}; }},
      {"corruptByte", 8, kCrcError,
       [](std::mt19937& r) {
         return sim::TFaults{.corruptByte = std::uniform_int_distribution<std::size_t>(0, 18)(r)};
       }},
      {"exception", 6, kError,
       [](std::mt19937& r) {
         return sim::TFaults{.exceptionCode =
                                 static_cast<std::uint8_t>(std::uniform_int_distribution(1, 4)(r))};
       }},
      {"splitUnder150ms", 6, kOk,
       [](std::mt19937& r) {
         return sim::TFaults{.splitBefore = {std::uniform_int_distribution<std::size_t>(1, 7)(r)},
                             .splitGap = 40ms};
       }},
      {"splitOver150ms", 3, kCrcError,
       [](std::mt19937& r) {
         return sim::TFaults{.splitBefore = {std::uniform_int_distribution<std::size_t>(2, 7)(r)},
                             .splitGap = 300ms};
       }},
      // Fewer extra bytes than a whole read (8 for an echo): they never make a read of their own
      // within the 5 ms take-up, which would replace the reply (see the line fault tests).
      {"extraBytes", 6, kOk,
       [](std::mt19937& r) {
         std::vector<std::uint8_t> extra(std::uniform_int_distribution<std::size_t>(1, 7)(r));
         for (auto& b : extra)
           b = static_cast<std::uint8_t>(r());
         return sim::TFaults{.extraBytes = extra};
       }},
      {"garbageBefore", 5, kCrcError,
       [](std::mt19937& r) {
         return sim::TFaults{.garbageBytes = GarbageLength(r), .garbage = sim::TGarbage::kBefore};
       }},
      {"garbageInstead", 4, kCrcError,
       [](std::mt19937& r) {
         return sim::TFaults{.garbageBytes = GarbageLength(r), .garbage = sim::TGarbage::kInstead};
       }},
      {"lateWithin", 3, kOk, [](std::mt19937&) { return sim::TFaults{.late = 120ms}; }},
      {"silent", 2, kTimeOut, [](std::mt19937&) { return sim::TFaults{.silent = true}; }},
      {"latePast", 2, kTimeOut, [](std::mt19937&) { return sim::TFaults{.late = 400ms}; }},
  };
  return kinds;
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

unsigned EnvNumber(const char* name, unsigned fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 10))
                                          : fallback;
}

class Soak : public FaultyLine {};

TEST_F(Soak, EveryExchangeEndsInItsOneVerdictAndNothingGrows) {
  const unsigned exchanges = EnvNumber("TARVI_SOAK_EXCHANGES", 500);
  const unsigned seed = EnvNumber("TARVI_SOAK_SEED", 20240);
  std::mt19937 random(seed);
  sim::TVirtualDevice& device = AddFastDevice();
  const auto& kinds = FaultKinds();
  std::vector<unsigned> weights;
  for (const FaultKind& kind : kinds)
    weights.push_back(kind.weight);
  std::discrete_distribution<std::size_t> drawKind(weights.begin(), weights.end());
  std::uniform_int_distribution<int> drawCommand(0, 3);

  std::map<std::string, unsigned> drawn;
  std::map<std::string, unsigned> verdicts;
  const unsigned warmUp = std::min(50u, exchanges / 10);
  long rssBefore = ResidentKiB();
  QElapsedTimer clock;
  clock.start();
  for (unsigned n = 0; n < exchanges; ++n) {
    if (n == warmUp) rssBefore = ResidentKiB();  // after the caches of the first exchanges
    const FaultKind& kind = kinds[drawKind(random)];
    sim::TFaults faults = kind.make(random);
    faults.count = 1;
    device.SetFaults(faults);
    ++drawn[kind.name];
    const int command = drawCommand(random);
    switch (command) {
      case 0:
        QTest::mouseClick(form->TeButton4, Qt::LeftButton);
        break;
      case 1:
        QTest::mouseClick(form->TeButton2, Qt::LeftButton);
        break;
      case 2:
        QTest::mouseClick(form->TeButton3, Qt::LeftButton);
        break;
      default:
        form->TeCheckBox1->click();
        break;
    }
    ASSERT_TRUE(WaitForVerdict(5s))
        << "exchange " << n << " (" << kind.name << ") never ended: BusyFlag "
        << int{LinkState.BusyFlag} << ", log " << testing::PrintToString(Log());
    ASSERT_TRUE(WaitForQuietLine()) << "exchange " << n;
    const auto log = Log();
    const auto shown = ShownReply(log);
    // Noise passes the CRC check once in 65536 reads; what it then means is anybody's guess.
    if (faults.garbageBytes > 0 && shown.size() >= 2 && sim::HasValidCrc(shown)) {
      ++verdicts["noise with a valid CRC"];
      continue;
    }
    auto found = Verdicts();
    // A garbled reply whose function byte reads as an exception code gets that verdict before
    // its CRC ERROR, as the interpretation rules have it.
    if (found.size() == 2 && found[0] == kError && found[1] == kCrcError && shown.size() >= 2 &&
        (shown[1] == 0x83 || shown[1] == 0x86 || shown[1] == 0x90)) {
      ++verdicts["garbled exception code"];
      found.erase(found.begin());
    }
    const auto rxLines = std::count_if(
        log.begin(), log.end(), [](const std::string& l) { return l.rfind("RX :", 0) == 0; });
    ASSERT_EQ(rxLines, 1) << "exchange " << n << " (" << kind.name
                          << ") ended twice: " << testing::PrintToString(log);
    ASSERT_EQ(found.size(), 1u) << "exchange " << n << " (" << kind.name << ", command " << command
                                << "): " << testing::PrintToString(log);
    ASSERT_EQ(found[0], kind.verdict) << "exchange " << n << " (" << kind.name << ", command "
                                      << command << "): " << testing::PrintToString(log);
    ++verdicts[found[0]];
    ASSERT_FALSE(form->ComPort1->Connected()) << "exchange " << n;
  }
  const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
  const long rssAfter = ResidentKiB();
  EXPECT_TRUE(CleanQueryWorks(device));
  EXPECT_EQ(PendingMainThreadWork(), 0);

  std::string faultsText;
  for (const auto& [name, count] : drawn)
    faultsText += name + "=" + std::to_string(count) + " ";
  std::string verdictsText;
  for (const auto& [line, count] : verdicts)
    verdictsText += "\"" + line + "\"=" + std::to_string(count) + " ";
  std::printf(
      "soak: %u exchanges in %.1f s (seed %u)\nsoak: faults %s\nsoak: verdicts %s\n"
      "soak: RSS %ld KiB after %u exchanges, %ld KiB at the end (%+ld KiB)\n",
      exchanges, seconds, seed, faultsText.c_str(), verdictsText.c_str(), rssBefore, warmUp,
      rssAfter, rssAfter - rssBefore);
  RecordProperty("exchanges", std::to_string(exchanges));
  RecordProperty("seconds", std::to_string(seconds));
  RecordProperty("faults", faultsText);
  RecordProperty("verdicts", verdictsText);
  RecordProperty("rss_before_kib", std::to_string(rssBefore));
  RecordProperty("rss_after_kib", std::to_string(rssAfter));
  // The log is cleared by every request and nothing is kept per exchange: what grows after the
  // warm-up is the allocator's and Qt's slack, well under 4 MiB. A sanitizer build keeps freed
  // memory in quarantine and shadow by design; there LeakSanitizer checks for leaks instead.
  if (!kSanitized) {
    EXPECT_LT(rssAfter - rssBefore, 4096) << "KiB";
  }
}

}  // namespace
