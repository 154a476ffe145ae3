// Faults on the line, end to end: the real window queries a virtual device that misbehaves in one
// way for that one request. Each exchange ends in the verdict the protocol gives for what came
// in, and the next command, on a quiet line, works as if nothing had happened.
#include <QTest>

#include "protocol/link_state.h"
#include "tests/support/event_loop_wait.h"
#include "tests/robustness/faulty_line.h"
#include "tests/support/case_name.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const std::string kModeOff = "   : РЕЖИМ РАБОТЫ - <ОТКЛ.>";
const std::string kCrcError = "   : CRC ERROR.";
const std::string kTimeOut = "   : TIME OUT.";

struct LineFaultCase {
  const char* name;
  sim::TFaults faults;  // for the one request
  // What the log shows: the start of its RX line, its number of reply bytes, the lines after it.
  std::string rxStart;
  std::size_t rxBytes;
  std::vector<std::string> after;
};

// The number of byte cells ("XX ") on the RX line and its continuation lines.
std::size_t ReplyCells(const std::vector<std::string>& log) {
  std::size_t cells = 0;
  for (std::size_t i = 1; i < log.size(); ++i) {
    const bool rx = i == 1 ? log[i].rfind("RX :", 0) == 0 : log[i].rfind("     ", 0) == 0;
    if (!rx) break;
    if (log[i].size() > 5) cells += (log[i].size() - 5) / 3;
  }
  return cells;
}

void PrintTo(const LineFaultCase& c, std::ostream* os) {
  *os << c.name;
}

sim::TFaults Once(sim::TFaults faults) {
  faults.count = 1;
  return faults;
}

class LineFaults : public FaultyLine, public ::testing::WithParamInterface<LineFaultCase> {};

TEST_P(LineFaults, EndInTheProtocolsVerdictAndTheNextQueryWorks) {
  const LineFaultCase& c = GetParam();
  sim::TVirtualDevice& device = AddFastDevice();
  device.SetFaults(Once(c.faults));
  QueryParameters();
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  const auto log = Log();
  RecordProperty("log", testing::PrintToString(log));
  ASSERT_GE(log.size(), 3u) << testing::PrintToString(log);
  EXPECT_EQ(log[0], "TX : F7 03 00 00 00 07 10 9E ");
  EXPECT_EQ(log[1].rfind(c.rxStart, 0), 0u) << log[1];
  EXPECT_EQ(ReplyCells(log), c.rxBytes) << testing::PrintToString(log);
  const std::vector<std::string> after(log.end() - static_cast<std::ptrdiff_t>(c.after.size()),
                                       log.end());
  EXPECT_EQ(after, c.after) << testing::PrintToString(log);
  EXPECT_EQ(Verdicts().size(), 1u) << "one exchange, one verdict";
  // One request, one reply shown: a second end of the same exchange would show a second RX line.
  const auto rxLines = std::count_if(log.begin(), log.end(),
                                     [](const std::string& l) { return l.rfind("RX :", 0) == 0; });
  EXPECT_EQ(rxLines, 1) << testing::PrintToString(log);
  EXPECT_EQ(log.size(), 1 + (c.rxBytes < 17 ? 1 : c.rxBytes / 17 + 1) + c.after.size() -
                            (c.after.front() == "RX :" ? 1 : 0))
      << testing::PrintToString(log);
  EXPECT_FALSE(form->ComPort1->Connected());
  EXPECT_EQ(device.RequestCount(), 1u);

  // Whatever the fault left on the line has gone: the exchange stays as it was shown.
  ASSERT_TRUE(WaitForQuietLine());
  Pump(50ms);
  EXPECT_EQ(Log(), log) << "nothing of the faulty reply may turn up after its verdict";
  EXPECT_FALSE(form->Timer_Rx->Enabled());
  EXPECT_TRUE(CleanQueryWorks(device));
}

// The parameter block of a device at address 5 (id 15, running mode 4).
const Bytes kBlockFrom5 = {0x05, 0x03, 0x0E, 0x00, 0x0F, 0x00, 0x05, 0x00, 0x04,
                           0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00};

INSTANTIATE_TEST_SUITE_P(
    OnTheLine, LineFaults,
    ::testing::Values(
        LineFaultCase{"NoAnswer", {.silent = true}, "RX :", 0, {"RX :", kTimeOut}},
        LineFaultCase{
            "CorruptedByte", {.corruptByte = 7}, "RX : F7 03 0E 00 0E 00 F7 FF ", 19, {kCrcError}},
        LineFaultCase{
            "ExceptionReply", {.exceptionCode = 2}, "RX : F7 83 02 ", 5, {"   : ОШИБКА."}},
        // The read gathers a reply across a silence shorter than its 150 ms interval...
        LineFaultCase{"SplitBy100ms",
                      {.splitBefore = {5}, .splitGap = 100ms},
                      "RX : F7 03 0E 00 0E 00 F7 ",
                      19,
                      {kModeOff, kOk}},
        // ...and ends at a longer one: the first part is taken as the reply, and the rest comes
        // after the exchange has closed the port, so it is lost.
        LineFaultCase{"SplitBy200ms",
                      {.splitBefore = {5}, .splitGap = 200ms},
                      "RX : F7 03 0E 00 0E ",
                      5,
                      {kCrcError}},
        LineFaultCase{"ExtraBytesAfterTheReply",
                      {.extraBytes = {0x55, 0xAA, 0x00, 0xFF, 0x01, 0x02, 0x03}},
                      "RX : F7 03 0E 00 0E ",
                      19,
                      {kModeOff, kOk}},
        // 10 KiB of noise: the read takes the first 19 bytes as the reply.
        LineFaultCase{"GarbageBurst10KiB",
                      {.garbageBytes = 10240, .garbage = sim::TGarbage::kBefore},
                      "RX : ",
                      19,
                      {kCrcError}},
        // 150 ms late against the 350 ms time-out: a busy machine may hold the device or the
        // window up for a while more.
        LineFaultCase{
            "LateWithinTheTimeOut", {.late = 150ms}, "RX : F7 03 0E 00 0E ", 19, {kModeOff, kOk}},
        LineFaultCase{"LatePastTheTimeOut", {.late = 500ms}, "RX :", 0, {"RX :", kTimeOut}},
        // The master takes the address byte as it comes: the block is shown with its verdict.
        LineFaultCase{"ReplyFromAnotherAddress",
                      {.reply = kBlockFrom5},
                      "RX : 05 03 0E 00 0F ",
                      19,
                      {"   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 1Гц & ЗВУК>", kOk}}),
    CaseName());

}  // namespace
