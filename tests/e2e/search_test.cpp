// The device search end to end: the real window scans a virtual bus through its real port.
#include <QElapsedTimer>
#include <QTest>
#include <set>

#include "protocol/link_state.h"
#include "tests/support/case_name.h"
#include "tests/support/event_loop_wait.h"
#include "tests/support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

const char* const kOk = "   : \u041E\u041A.";
const char* const kNotFound = "   : ПРИБОР <ТАРВИ-А(-З)> НЕ ОБНАРУЖЕН...";

class Search : public WindowOnBus {
 protected:
  void StartSearch() { form->CustomItem4->trigger(); }
  bool Searching() const { return LinkState.SearchState == kSearchRunning; }
  std::string Caption() const { return form->CustomItem4->text().toStdString(); }
  // Waits until the search has ended and the port has been closed.
  bool WaitForSearchEnd(std::chrono::milliseconds timeout) {
    return WaitWithEvents([&] { return !Searching() && !form->Timer_Rx->Enabled(); }, timeout);
  }
  // The address of the newest probe the device heard (0 when none).
  static int LastProbe(const sim::TVirtualDevice& device) {
    const auto heard = device.Requests();
    return heard.empty() ? 0 : heard.back().bytes.at(0);
  }
};

struct FindCase {
  const char* name;
  std::uint8_t address;
  std::uint16_t id;
  int startFrom;  // the address field is set here right after Start: the scan goes on from it
  std::string probe;
  std::string found;
};

class Finds : public Search, public ::testing::WithParamInterface<FindCase> {};

TEST_P(Finds, StopAtTheFirstDeviceOfTheFamily) {
  const FindCase& c = GetParam();
  sim::TVirtualDevice& device = AddDevice({.address = c.address, .id = c.id});
  StartSearch();
  EXPECT_EQ(Caption(), "Stop");
  EXPECT_TRUE(form->TeProgressBar1->isVisible());
  if (c.startFrom > 0) form->TeSpinEdit1->SetValue(c.startFrom);
  ASSERT_TRUE(WaitForSearchEnd(20s));
  const auto log = Log();
  ASSERT_EQ(log.size(), 4u) << testing::PrintToString(log);
  EXPECT_EQ(log[0], "TX : " + c.probe);
  EXPECT_EQ(log[1].rfind("RX : " + c.probe.substr(0, 3) + "03 02 00 ", 0), 0u) << log[1];
  EXPECT_EQ(log[2], c.found);
  EXPECT_EQ(log[3], kOk);
  EXPECT_EQ(LinkState.DeviceAddress, c.address);
  EXPECT_EQ(form->TeSpinEdit1->value(), c.address);
  EXPECT_EQ(Caption(), "Start");
  EXPECT_FALSE(form->TeProgressBar1->isVisible());
  EXPECT_FALSE(form->ComPort1->Connected());
  const auto probes = device.RequestCount();
  Pump(300ms);
  EXPECT_EQ(device.RequestCount(), probes) << "no probe after the find";
}

INSTANTIATE_TEST_SUITE_P(
    Family, Finds,
    ::testing::Values(FindCase{"TarviAAt5", 5, 14, 0, "05 03 00 00 00 01 85 8E ",
                               "   : ОБНАРУЖЕН ПРИБОР <ТАРВИ-А> ПО АДРЕСУ 005"},
                      FindCase{"TarviZAAt200", 200, 15, 196, "C8 03 00 00 00 01 95 93 ",
                               "   : ОБНАРУЖЕН ПРИБОР <ТАРВИ-З-А> ПО АДРЕСУ 200"}),
    CaseName());

TEST_F(Search, ProbesEveryAddressFromOneInOrder) {
  sim::TVirtualDevice& device = AddDevice({.address = 5, .id = 14});
  StartSearch();
  ASSERT_TRUE(WaitForSearchEnd(10s));
  std::vector<int> probed;
  for (const auto& frame : device.Requests())
    probed.push_back(frame.bytes.at(0));
  EXPECT_EQ(probed, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(Search, DeviceOutsideTheFamilyIsShownAndTheScanGoesOn) {
  sim::TVirtualDevice& device = AddDevice({.address = 3, .id = 20});
  StartSearch();
  ASSERT_TRUE(WaitWithEvents([&] { return LogHas(kOk); }, 5s));
  const auto log = Log();
  EXPECT_EQ(log[0], "TX : 03 03 00 00 00 01 85 E8 ");
  EXPECT_EQ(log[1].rfind("RX : 03 03 02 00 14 ", 0), 0u) << log[1];
  EXPECT_TRUE(Searching());
  ASSERT_TRUE(WaitWithEvents([&] { return LastProbe(device) == 4; }, 5s));
  StartSearch();  // Stop
}

TEST_F(Search, GarbledAndExceptionRepliesDoNotStopTheScan) {
  sim::TVirtualDevice& garbled = bus->AddDevice({.address = 2, .id = 14});
  garbled.SetFaults({.corruptByte = 3});
  bus->AddDevice({.address = 3, .id = 14}).SetFaults({.exceptionCode = 2});
  AddDevice({.address = 4, .id = 14});
  // An exception reply is shorter than a probe's reply, so it is read only once the line has
  // been silent for the 150 ms read interval: a 350 ms window holds it.
  form->CustomItem11->trigger();  // "350ms"
  // Every line the log shows while the scan runs; each probe clears the log.
  std::set<std::string> seen;
  StartSearch();
  ASSERT_TRUE(WaitWithEvents(
      [&] {
        for (const std::string& line : Log())
          seen.insert(line);
        return !Searching() && !form->Timer_Rx->Enabled();
      },
      10s));
  std::set<std::string> replies;
  std::set<std::string> verdicts;
  for (const std::string& line : seen) {
    if (line.rfind("RX : ", 0) == 0) replies.insert(line.substr(0, 10));
    if (line.rfind("   : ", 0) == 0) verdicts.insert(line);
  }
  // Nothing of the garbled reply from 2 is shown; the exception from 3 gets its verdict.
  EXPECT_EQ(replies, (std::set<std::string>{"RX : 03 83", "RX : 04 03"}));
  EXPECT_EQ(verdicts, (std::set<std::string>{
                          "   : ОШИБКА.", "   : ОБНАРУЖЕН ПРИБОР <ТАРВИ-А> ПО АДРЕСУ 004", kOk}));
  EXPECT_EQ(LinkState.DeviceAddress, 4);
  std::vector<int> probed;
  for (const auto& frame : garbled.Requests())
    probed.push_back(frame.bytes.at(0));
  EXPECT_EQ(probed, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(Search, LateReplyIsCreditedToTheDeviceThatSentIt) {
  sim::TVirtualDevice& device = AddDevice({.address = 9, .id = 14});
  sim::TFaults late;
  late.late = 160ms;  // past the 150 ms window of its own probe, into the next one
  device.SetFaults(late);
  StartSearch();
  form->TeSpinEdit1->SetValue(7);
  ASSERT_TRUE(WaitForSearchEnd(10s));
  // The reply came in the window of the probe to 10, which the log shows.
  EXPECT_EQ(Log().at(0), "TX : 0A 03 00 00 00 01 85 71 ");
  EXPECT_TRUE(LogHas("   : ОБНАРУЖЕН ПРИБОР <ТАРВИ-А> ПО АДРЕСУ 009"));
  EXPECT_EQ(LinkState.DeviceAddress, 9);
  EXPECT_EQ(form->TeSpinEdit1->value(), 9);
}

TEST_F(Search, StopDuringAProbeWindowEndsThatProbeAsAnOrdinaryExchange) {
  sim::TVirtualDevice& device = AddDevice({.address = 200, .id = 14});
  form->CustomItem11->trigger();  // 350 ms windows
  StartSearch();
  ASSERT_TRUE(WaitWithEvents([&] { return LastProbe(device) == 2; }, 5s));
  StartSearch();  // Stop
  EXPECT_EQ(Caption(), "Start");
  EXPECT_EQ(form->TeSpinEdit1->value(), 2);
  EXPECT_FALSE(form->TeProgressBar1->isVisible());
  ASSERT_TRUE(WaitForLine("   : TIME OUT."));
  EXPECT_FALSE(form->ComPort1->Connected());
  Pump(100ms);
  EXPECT_EQ(LastProbe(device), 2);
}

TEST_F(Search, StopBetweenProbesLeavesThePortOpenUntilTheNextExchange) {
  sim::TVirtualDevice& device = AddDevice({.address = 200, .id = 14});
  StartSearch();
  // The 5 ms between the end of one probe window and the next probe.
  ASSERT_TRUE(WaitWithEvents(
      [&] { return LastProbe(device) >= 1 && form->Timer_Programm->Enabled(); }, 5s));
  StartSearch();  // Stop
  const int last = LastProbe(device);
  Pump(300ms);
  EXPECT_EQ(LastProbe(device), last) << "the pending step must do nothing";
  EXPECT_TRUE(form->ComPort1->Connected());
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine("   : TIME OUT."));  // nobody at the last probed address
  EXPECT_FALSE(form->ComPort1->Connected());
}

TEST_F(Search, DelayChosenDuringASearchHoldsFromTheNextProbe) {
  sim::TVirtualDevice& device = AddDevice({.address = 200, .id = 14});
  StartSearch();
  ASSERT_TRUE(WaitWithEvents([&] { return LastProbe(device) == 2; }, 5s));
  form->CustomItem11->trigger();  // "350ms"
  ASSERT_TRUE(WaitWithEvents([&] { return LastProbe(device) == 5; }, 5s));
  StartSearch();
  const auto heard = device.Requests();
  const auto gap = [&](int from) -> double {
    return std::chrono::duration<double, std::milli>(
               heard.at(static_cast<std::size_t>(from)).firstByteAt -
               heard.at(static_cast<std::size_t>(from - 1)).firstByteAt)
        .count();
  };
  // Never sooner than the delay; later by up to 150 ms (a busy machine's timers), which still
  // tells the two delays apart.
  EXPECT_GE(gap(1), 145) << "probe 1 to 2 under the 150 ms delay";
  EXPECT_LT(gap(1), 305) << "probe 1 to 2 under the 150 ms delay";
  EXPECT_GE(gap(4), 345) << "probe 4 to 5 under the 350 ms delay";
  EXPECT_LT(gap(4), 505) << "probe 4 to 5 under the 350 ms delay";
  EXPECT_TRUE(form->CustomItem11->isChecked());
  EXPECT_FALSE(form->CustomItem7->isChecked());
}

TEST_F(Search, PortThatCannotOpenStallsTheScanUntilStop) {
  AddDevice({.address = 5});
  form->ComPort1->SetPort("/nonexistent/COM9");
  StartSearch();
  ASSERT_TRUE(WaitForLine("   : ОШИБКА ОТКРЫТИЯ ПОРТА /nonexistent/COM9"));
  EXPECT_EQ(Log().at(0), "TX : 01 03 00 00 00 01 84 0A ");
  Pump(400ms);
  EXPECT_EQ(Log().size(), 3u);
  EXPECT_EQ(Caption(), "Stop");
  EXPECT_EQ(LinkState.DeviceAddress, 1);
  StartSearch();
  EXPECT_EQ(Caption(), "Start");
  EXPECT_FALSE(Searching());
}

TEST_F(Search, CommandsAreIgnoredWhileItRuns) {
  sim::TVirtualDevice& device = AddDevice({.address = 200, .id = 14});
  form->CustomItem11->trigger();
  StartSearch();
  ASSERT_TRUE(WaitWithEvents([&] { return LastProbe(device) == 1; }, 5s));
  const auto before = Log();
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  QTest::mouseClick(form->TeButton2, Qt::LeftButton);
  form->A4_Button->click();
  form->TeCheckBox1->click();
  EXPECT_EQ(Log(), before);
  EXPECT_TRUE(form->A4_Button->isChecked()) << "the control keeps its new state on the screen";
  EXPECT_EQ(LinkState.BusyFlag, 0);
  StartSearch();
}

TEST_F(Search, ValidAnswerAt247FromOutsideTheFamilyScansOnTo248ThenEnds) {
  sim::TVirtualDevice& device = AddDevice({.address = 247, .id = 20});
  StartSearch();
  form->TeSpinEdit1->SetValue(245);
  ASSERT_TRUE(WaitForSearchEnd(10s));
  std::vector<int> probed;
  for (const auto& frame : device.Requests())
    probed.push_back(frame.bytes.at(0));
  EXPECT_EQ(probed, (std::vector<int>{246, 247, 248}));
  EXPECT_EQ(LastLine(), kNotFound);
  EXPECT_EQ(LinkState.DeviceAddress, 247);
}

TEST_F(Search, FruitlessScanEndsAt247WithThePortClosed) {
  sim::TVirtualDevice& device = AddDevice({.address = 247, .id = 14});
  device.SetFaults({.silent = true});
  form->CustomItem6->trigger();  // "100ms"
  QElapsedTimer clock;
  clock.start();
  StartSearch();
  ASSERT_TRUE(WaitForSearchEnd(60s));
  const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
  // Every address probed once, in order. The probes are read as one stream: a device stalled by
  // a busy machine may take two probes that reached it together for one frame.
  std::vector<std::uint8_t> heard;
  for (const sim::TRequestRecord& request : device.Requests()) {
    heard.insert(heard.end(), request.bytes.begin(), request.bytes.end());
  }
  ASSERT_EQ(heard.size(), 247u * 8u);
  for (std::size_t address = 1; address <= 247; ++address) {
    EXPECT_EQ(heard[(address - 1) * 8], address) << "probe " << address;
  }
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : F7 03 00 00 00 01 90 9C ", "RX :", kNotFound}));
  EXPECT_EQ(Caption(), "Start");
  EXPECT_FALSE(form->TeProgressBar1->isVisible());
  EXPECT_EQ(form->TeSpinEdit1->value(), 247);
  EXPECT_EQ(LinkState.DeviceAddress, 247);
  EXPECT_FALSE(form->ComPort1->Connected());
  // 247 windows of 100 ms and 247 steps of 5 ms at the least; a loaded machine adds some.
  EXPECT_GE(seconds, 247 * 0.105 - 0.1) << "windows cut short";
  EXPECT_LT(seconds, 247 * 0.105 * 1.5);
  RecordProperty("scan_seconds", std::to_string(seconds));
}

}  // namespace
