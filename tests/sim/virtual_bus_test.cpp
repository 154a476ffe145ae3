#include "sim/virtual_bus.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>

#include "sim/crc16.h"
#include "tests/sim/tiny_master.h"
#include "tests/support/case_name.h"
#include "tests/support/wait_until.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kQuery = "F7 03 00 00 00 07 10 9E";
const std::string kWorkedReply = "F7 03 0E 00 0E 00 00 00 00 00 02 00 03 00 06 00 01 18 08";
const sim::TRegisters kWorkedRegisters = {14, 0, 0, 2, 3, 6, 1};

// Time of n characters at rate.
Clock::duration Chars(double n, std::uint32_t rate) {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(n * 10.0 / rate));
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Arrival time of every byte, from the pieces a read gathered.
std::vector<Clock::time_point> ByteTimes(const TReceived& received) {
  std::vector<Clock::time_point> times;
  for (const TArrival& piece : received.pieces)
    times.insert(times.end(), piece.bytes.size(), piece.at);
  return times;
}

class VirtualBusTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeBus({}); }

  void TearDown() override {
    bus_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void MakeBus(std::optional<std::chrono::milliseconds> replugAfter) {
    bus_.reset();
    if (dir_.empty()) {
      char pattern[] = "/tmp/tarvi-sim-test-XXXXXX";
      ASSERT_NE(mkdtemp(pattern), nullptr);
      dir_ = pattern;
    }
    link_ = dir_ + "/dev/COM1";
    sim::TBusOptions options{.linkPath = link_, .replugAfter = replugAfter, .trace = {}};
    options.trace = [this](const sim::TTraceEvent& event) {
      std::lock_guard lock(traceMutex_);
      trace_.push_back(event);
    };
    bus_ = std::make_unique<sim::TVirtualBus>(options);
    bus_->Start();
  }

  sim::TVirtualDevice& AddWorkedDevice(sim::TDeviceConfig config = {}) {
    sim::TVirtualDevice& device = bus_->AddDevice(config);
    for (std::size_t r = 0; r < kWorkedRegisters.size(); ++r)
      device.SetRegister(r, kWorkedRegisters[r]);
    return device;
  }

  std::unique_ptr<TTinyMaster> Open(std::uint32_t rate = 9600) {
    return std::make_unique<TTinyMaster>(link_, rate);
  }

  // The first trace event of kind, once it has happened.
  std::optional<sim::TTraceEvent> WaitForTrace(sim::TTraceEvent::TKind kind,
                                               std::chrono::milliseconds timeout) {
    std::optional<sim::TTraceEvent> found;
    WaitUntil(
        [&] {
          std::lock_guard lock(traceMutex_);
          for (const sim::TTraceEvent& event : trace_)
            if (event.kind == kind) found = event;
          return found.has_value();
        },
        timeout);
    return found;
  }

  std::string dir_;
  std::string link_;
  std::unique_ptr<sim::TVirtualBus> bus_;
  std::mutex traceMutex_;
  std::vector<sim::TTraceEvent> trace_;
};

TEST_F(VirtualBusTest, AnswersTheWorkedParameterQueryAndRecordsIt) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  EXPECT_EQ(fs::read_symlink(link_), bus_->SlavePath());
  auto master = Open();
  const Clock::time_point written = master->Write(FromHex(kQuery));
  EXPECT_EQ(ToHex(master->Read(19, 1s).All()), kWorkedReply);

  const std::optional<sim::TRequestRecord> request = device.WaitForRequest(1, 1s);
  ASSERT_TRUE(request);
  EXPECT_EQ(ToHex(request->bytes), kQuery);
  EXPECT_GE(request->firstByteAt, written);
  EXPECT_GE(request->endAt - request->firstByteAt, Chars(8, 9600) - 1us);
  EXPECT_FALSE(device.WaitForRequest(2, 50ms)) << "a second request that never came";
}

TEST_F(VirtualBusTest, TakesANewAddressOnlyAfterTheEcho) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  auto master = Open();
  master->Write(FromHex("F7 06 00 01 00 05 0C 9F"));
  EXPECT_EQ(ToHex(master->Read(8, 1s).All()), "F7 06 00 01 00 05 0C 9F");
  EXPECT_EQ(device.Address(), 5);
  EXPECT_EQ(device.Register(1), 5);

  master->Write(FromHex("F7 03 00 00 00 01 90 9C"));
  EXPECT_EQ(master->Read(1, 200ms).Size(), 0U) << "the old address is no longer answered";
  master->Write(FromHex("05 03 00 00 00 01 85 8E"));
  EXPECT_EQ(ToHex(master->Read(7, 1s).All()), "05 03 02 00 0E C8 40");
}

TEST_F(VirtualBusTest, EchoesABaudChangeAtTheOldRateThenListensAtTheNewOne) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  auto master = Open(9600);
  const Clock::time_point written = master->Write(FromHex("F7 06 00 02 00 06 BC 9E"));
  const TReceived echo = master->Read(8, 1s);
  ASSERT_EQ(ToHex(echo.All()), "F7 06 00 02 00 06 BC 9E");
  // Request, silence, and the echo's 8 bytes all at 9600: at 19200 it would take half as long.
  EXPECT_GE(echo.Last() - written, Chars(8 + 3.5 + 8, 9600));
  EXPECT_EQ(device.BaudCode(), 6);

  master->Write(FromHex(kQuery));
  EXPECT_EQ(master->Read(1, 200ms).Size(), 0U) << "deaf at the old rate";
  master->SetLine(19200);
  master->Write(FromHex(kQuery));
  EXPECT_EQ(master->Read(19, 1s).Size(), 19U);
}

struct RateCase {
  std::string name;
  std::uint8_t baudCode;
  std::uint32_t rate;
};

void PrintTo(const RateCase& row, std::ostream* os) {
  *os << row.name;
}

class ReplyPacing : public VirtualBusTest, public ::testing::WithParamInterface<RateCase> {};

// Nominal: 8 request bytes + 3.5 characters of silence + 19 reply bytes until the master holds the
// last one. Never earlier; later only by scheduling (generous margin).
TEST_P(ReplyPacing, ParameterReplyTakesTheLineTimeOfItsRate) {
  const RateCase& c = GetParam();
  sim::TVirtualDevice& device = AddWorkedDevice({.address = 247, .baudCode = c.baudCode});
  auto master = Open(c.rate);
  const Clock::time_point written = master->Write(FromHex(kQuery));
  const TReceived reply = master->Read(19, 3s);
  ASSERT_EQ(ToHex(reply.All()), kWorkedReply);

  EXPECT_EQ(device.Turnaround(), sim::FrameSilence(c.rate));
  const Clock::duration nominal = Chars(8 + 3.5 + 19, c.rate);
  const Clock::duration measured = reply.Last() - written;
  EXPECT_GE(measured, nominal - 50us);
  // Slower pacing shows as a multiple of the line time; a busy machine adds a wake-up or two.
  EXPECT_LE(measured, nominal + nominal / 2 + 150ms);
  // From the end of the request on the line to the start of the first reply byte.
  const Clock::duration turnaround = reply.First() - (written + Chars(9, c.rate));
  std::printf(
      "[measure] %u Bd: turnaround %.3f ms (nominal %.3f), 19 bytes first-to-last %.3f ms "
      "(nominal %.3f), write-to-last %.3f ms (nominal %.3f)\n",
      c.rate, Ms(turnaround), Ms(device.Turnaround()), Ms(reply.Last() - reply.First()),
      Ms(Chars(18, c.rate)), Ms(measured), Ms(nominal));
}

INSTANTIATE_TEST_SUITE_P(Sim, ReplyPacing,
                         ::testing::Values(RateCase{"At1200", 1, 1200}, RateCase{"At2400", 2, 2400},
                                           RateCase{"At4800", 3, 4800}, RateCase{"At9600", 4, 9600},
                                           RateCase{"At14400", 5, 14400},
                                           RateCase{"At19200", 6, 19200},
                                           RateCase{"At38400", 7, 38400},
                                           RateCase{"At57600", 8, 57600}),
                         CaseName());

TEST_F(VirtualBusTest, PacesNineteenBytesOverAboutTwentyMillisecondsAt9600) {
  AddWorkedDevice();
  auto master = Open();
  master->Write(FromHex(kQuery));
  const TReceived reply = master->Read(19, 1s);
  ASSERT_EQ(reply.Size(), 19U);
  // 18 character times (18.75 ms) from the first byte to the last; a burst would take none.
  EXPECT_GE(reply.Last() - reply.First(), Chars(18, 9600) / 2);
  EXPECT_LE(reply.Last() - reply.First(), Chars(18, 9600) + 150ms);
  EXPECT_GE(reply.pieces.size(), 4U) << "the bytes came in a few bursts, not one by one";
}

// Through a USB adapter with a 16 ms latency timer the same reply comes in pieces at the timer's
// ticks: no byte before it has crossed the line, and the bytes of a tick together.
TEST_F(VirtualBusTest, UsbAdapterHandsTheReplyOverAtItsTicks) {
  bus_.reset();
  sim::TBusOptions options;
  options.linkPath = link_;
  options.usbLatency = 16ms;
  bus_ = std::make_unique<sim::TVirtualBus>(options);
  bus_->Start();
  AddWorkedDevice();
  auto master = Open();
  const Clock::time_point sent = Clock::now();
  master->Write(FromHex(kQuery));
  const TReceived reply = master->Read(19, 1s);
  ASSERT_EQ(reply.Size(), 19U);
  EXPECT_EQ(ToHex(reply.All()), kWorkedReply);
  // The request and the reply take 27 characters (28.1 ms) on the line.
  EXPECT_GE(reply.Last() - sent, Chars(27, 9600));
  // 19.8 ms of reply cross at least one tick: two pieces at least. (How far apart the reader
  // sees them is not checked: a reader woken late for the first piece sees them closer.)
  EXPECT_GE(reply.pieces.size(), 2U);
  EXPECT_LE(reply.pieces.size(), 3U) << "the bytes of a tick come together";
}

TEST_F(VirtualBusTest, ExtraTurnaroundDelaysEveryReply) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  device.SetExtraTurnaround(40ms);
  EXPECT_EQ(device.Turnaround(), sim::FrameSilence(9600) + 40ms);
  auto master = Open();
  const Clock::time_point written = master->Write(FromHex(kQuery));
  const TReceived reply = master->Read(19, 1s);
  ASSERT_EQ(reply.Size(), 19U);
  EXPECT_GE(reply.First() - written, Chars(9, 9600) + device.Turnaround());
}

struct LineCase {
  std::string name;
  std::uint32_t rate;
  bool heard;
};

void PrintTo(const LineCase& row, std::ostream* os) {
  *os << row.name;
}

class LineSettings : public VirtualBusTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineSettings, DeviceHearsOnlyItsOwnRate) {
  const LineCase& c = GetParam();
  sim::TVirtualDevice& device = AddWorkedDevice();  // 9600 8N1
  auto master = Open(c.rate);
  master->Write(FromHex(kQuery));
  if (c.heard) {
    EXPECT_EQ(ToHex(master->Read(19, 1s).All()), kWorkedReply);
    EXPECT_EQ(device.DeafFrames(), 0U);
    return;
  }
  ASSERT_TRUE(WaitUntil([&] { return device.DeafFrames() == 1; }, 2s));
  EXPECT_EQ(master->Read(1, 150ms).Size(), 0U);
  EXPECT_EQ(device.RequestCount(), 0U);
}

INSTANTIATE_TEST_SUITE_P(Sim, LineSettings,
                         ::testing::Values(LineCase{"Rate19200IsNotHeard", 19200, false},
                                           LineCase{"Rate4800IsNotHeard", 4800, false},
                                           LineCase{"Rate9800IsTooFarOff", 9800, false},
                                           LineCase{"Rate9700IsWithinAUartsTolerance", 9700, true}),
                         CaseName());

struct Outcome {
  Clock::time_point written;
  TReceived received;
  sim::TVirtualBus& bus;
  sim::TVirtualDevice& device;
  const std::string& link;
};

struct FaultCase {
  std::string name;
  std::function<void(sim::TFaults&)> set;
  std::function<void(const Outcome&)> check;
};

void PrintTo(const FaultCase& row, std::ostream* os) {
  *os << row.name;
}

class FaultSwitches : public VirtualBusTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultSwitches, ShowTheirEffectOnTheLine) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  sim::TFaults faults;
  GetParam().set(faults);
  device.SetFaults(faults);
  auto master = Open();
  const Clock::time_point written = master->Write(FromHex(kQuery));
  // The silence that ends the read is longer than the gaps of ReplySplitByGaps.
  const TReceived received = master->Read(100000, 1s, 400ms);
  ASSERT_TRUE(device.WaitForRequest(1, 1s)) << "the request was heard";
  GetParam().check({written, received, *bus_, device, link_});
}

INSTANTIATE_TEST_SUITE_P(
    Sim, FaultSwitches,
    ::testing::Values(
        FaultCase{"NoAnswer", [](sim::TFaults& f) { f.silent = true; },
                  [](const Outcome& o) { EXPECT_EQ(o.received.Size(), 0U); }},
        FaultCase{"OneCorruptedByte", [](sim::TFaults& f) { f.corruptByte = 5; },
                  [](const Outcome& o) {
                    const Bytes got = o.received.All();
                    const Bytes good = FromHex(kWorkedReply);
                    ASSERT_EQ(got.size(), good.size());
                    EXPECT_FALSE(sim::HasValidCrc(got));
                    for (std::size_t i = 0; i < got.size(); ++i)
                      EXPECT_EQ(got[i] != good[i], i == 5);
                  }},
        FaultCase{"ExceptionReply", [](sim::TFaults& f) { f.exceptionCode = 4; },
                  [](const Outcome& o) { EXPECT_EQ(ToHex(o.received.All()), "F7 83 04 A0 C1"); }},
        FaultCase{"LateReply", [](sim::TFaults& f) { f.late = 200ms; },
                  [](const Outcome& o) {
                    EXPECT_EQ(ToHex(o.received.All()), kWorkedReply);
                    EXPECT_GE(o.received.First() - o.written, 200ms + Chars(12.5, 9600));
                  }},
        FaultCase{"ReplySplitByGaps",
                  [](sim::TFaults& f) {
                    f.splitBefore = {5, 12};
                    f.splitGap = 200ms;
                  },
                  [](const Outcome& o) {
                    // Times are taken by the reading thread: half of each gap is left for a
                    // reader that a busy machine wakes late.
                    ASSERT_EQ(ToHex(o.received.All()), kWorkedReply);
                    const std::vector<Clock::time_point> at = ByteTimes(o.received);
                    EXPECT_GE(at[5] - at[4], 100ms);
                    EXPECT_GE(at[12] - at[11], 100ms);
                    EXPECT_GE(at[12] - o.written, 400ms + Chars(11.5 + 13, 9600));
                  }},
        FaultCase{"ExtraBytesAfterTheReply",
                  [](sim::TFaults& f) {
                    f.extraBytes = {0xAA, 0xBB, 0xCC};
                  },
                  [](const Outcome& o) {
                    EXPECT_EQ(ToHex(o.received.All()), kWorkedReply + " AA BB CC");
                  }},
        FaultCase{"GarbageBeforeTheReply", [](sim::TFaults& f) { f.garbageBytes = 200; },
                  [](const Outcome& o) {
                    const Bytes got = o.received.All();
                    ASSERT_EQ(got.size(), 219U);
                    EXPECT_EQ(ToHex(std::span(got).last(19)), kWorkedReply);
                  }},
        FaultCase{"GarbageInsteadOfTheReply",
                  [](sim::TFaults& f) {
                    f.garbageBytes = 200;
                    f.garbage = sim::TGarbage::kInstead;
                  },
                  [](const Outcome& o) {
                    const Bytes got = o.received.All();
                    EXPECT_EQ(got.size(), 200U);
                    EXPECT_EQ(ToHex(got).find(kWorkedReply), std::string::npos);
                  }},
        FaultCase{"HangUp", [](sim::TFaults& f) { f.hangUp = true; },
                  [](const Outcome& o) {
                    EXPECT_EQ(o.received.Size(), 0U);
                    EXPECT_TRUE(o.received.hungUp);
                    EXPECT_FALSE(o.bus.PluggedIn());
                    EXPECT_FALSE(fs::exists(fs::symlink_status(o.link)));
                  }}),
    CaseName());

TEST_F(VirtualBusTest, FaultCountClearsTheSwitchesAfterThatManyRequests) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  device.SetFaults({.corruptByte = 3, .count = 1});
  auto master = Open();
  master->Write(FromHex(kQuery));
  EXPECT_FALSE(sim::HasValidCrc(master->Read(19, 1s).All()));
  master->Write(FromHex(kQuery));
  EXPECT_EQ(ToHex(master->Read(19, 1s).All()), kWorkedReply);
  EXPECT_FALSE(device.Faults().corruptByte);
}

TEST_F(VirtualBusTest, HangUpThenReplugUnderTheSameLink) {
  AddWorkedDevice();
  auto master = Open();
  const std::string first = bus_->SlavePath();
  bus_->HangUp();
  EXPECT_TRUE(master->Read(1, 1s).hungUp);
  EXPECT_FALSE(bus_->PluggedIn());
  EXPECT_EQ(bus_->SlavePath(), "");
  EXPECT_FALSE(fs::exists(fs::symlink_status(link_)));

  bus_->Replug();
  ASSERT_TRUE(bus_->PluggedIn());
  EXPECT_EQ(fs::read_symlink(link_), bus_->SlavePath());
  auto again = Open();
  again->Write(FromHex(kQuery));
  // A sanitizer build on a busy machine may pause the bus within the reply for over 100 ms.
  EXPECT_EQ(ToHex(again->Read(19, 2s, 500ms).All()), kWorkedReply);
}

TEST_F(VirtualBusTest, ReplugsByItselfAfterAHangUpWhenAsked) {
  MakeBus(100ms);
  sim::TVirtualDevice& device = AddWorkedDevice();
  device.SetFaults({.hangUp = true, .count = 1});
  auto master = Open();
  master->Write(FromHex(kQuery));
  EXPECT_TRUE(master->Read(1, 1s).hungUp);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(link_); }, 2s)) << "the link came back";
  auto again = Open();
  again->Write(FromHex(kQuery));
  EXPECT_EQ(ToHex(again->Read(19, 1s).All()), kWorkedReply);
}

TEST_F(VirtualBusTest, TwoDevicesShareTheLineEachAtItsAddressAndRate) {
  sim::TVirtualDevice& a = bus_->AddDevice({.address = 5, .id = 14});
  sim::TVirtualDevice& b = bus_->AddDevice({.address = 9, .id = 15});
  sim::TVirtualDevice& c = bus_->AddDevice({.address = 20, .id = 14, .baudCode = 6});
  auto master = Open(9600);
  master->Write(FromHex("05 03 00 00 00 01 85 8E"));
  EXPECT_EQ(ToHex(master->Read(7, 1s).All()), "05 03 02 00 0E C8 40");
  master->Write(FromHex("09 03 00 00 00 01 85 42"));
  EXPECT_EQ(ToHex(master->Read(7, 1s).All()), "09 03 02 00 0F 19 81");
  master->Write(FromHex("07 03 00 00 00 01 84 6C"));
  EXPECT_EQ(master->Read(1, 150ms).Size(), 0U) << "nobody at address 7";
  master->Write(FromHex("14 03 00 00 00 01 86 CF"));
  EXPECT_EQ(master->Read(1, 150ms).Size(), 0U) << "address 20 listens at 19200";

  EXPECT_EQ(a.RequestCount(), 4U);
  EXPECT_EQ(b.RequestCount(), 4U);
  EXPECT_EQ(c.RequestCount(), 0U);
  EXPECT_EQ(c.DeafFrames(), 4U);
  master->SetLine(19200);
  master->Write(FromHex("14 03 00 00 00 01 86 CF"));
  EXPECT_EQ(ToHex(master->Read(7, 1s).All()), "14 03 02 00 0E 34 43");
}

struct CloseCase {
  std::string name;
  bool closeBeforeTheReply;
};

void PrintTo(const CloseCase& row, std::ostream* os) {
  *os << row.name;
}

class PortClosed : public VirtualBusTest, public ::testing::WithParamInterface<CloseCase> {};

// On a real port, bytes that arrive while it is closed, or that were left unread when it was
// closed, are gone when it is opened again.
TEST_P(PortClosed, ReplyIsNotFoundByTheNextOpen) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  if (GetParam().closeBeforeTheReply) device.SetExtraTurnaround(100ms);
  auto master = Open();
  master->Write(FromHex(kQuery));
  ASSERT_TRUE(device.WaitForRequest(1, 1s));
  EXPECT_TRUE(bus_->PortInUse());
  if (GetParam().closeBeforeTheReply) {
    master.reset();
    ASSERT_TRUE(WaitUntil([&] { return !bus_->PortInUse(); }, 1s));
  }
  ASSERT_TRUE(WaitUntil([&] { return bus_->BytesSent() == 19; }, 2s));
  master.reset();
  ASSERT_TRUE(WaitUntil([&] { return !bus_->PortInUse(); }, 1s));

  auto again = Open();
  EXPECT_EQ(again->Read(1, 100ms).Size(), 0U) << "nothing stale";
  device.SetExtraTurnaround(0ms);
  again->Write(FromHex(kQuery));
  EXPECT_EQ(ToHex(again->Read(19, 1s).All()), kWorkedReply);
}

INSTANTIATE_TEST_SUITE_P(Sim, PortClosed,
                         ::testing::Values(CloseCase{"ReplyDueAfterTheClose", true},
                                           CloseCase{"ReplyLeftUnreadAtTheClose", false}),
                         CaseName());

TEST_F(VirtualBusTest, RequestSentWhileADeviceTransmitsIsLost) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  device.SetFaults({.garbageBytes = 300, .garbage = sim::TGarbage::kInstead, .count = 1});
  auto master = Open();
  master->Write(FromHex(kQuery));
  ASSERT_GE(master->Read(1, 1s).Size(), 1U);
  master->Write(FromHex(kQuery));  // into the 300-byte transmission (about 310 ms)
  master->Read(100000, 1s, 100ms);
  ASSERT_TRUE(WaitForTrace(sim::TTraceEvent::TKind::kCollision, 1s));
  EXPECT_EQ(device.RequestCount(), 1U);
  master->Write(FromHex(kQuery));
  EXPECT_EQ(ToHex(master->Read(19, 1s).All()), kWorkedReply);
}

// A two-wire adapter that hears itself: the request comes back as it crosses the line, then
// the device's reply; switched off, the master hears the reply alone again.
TEST_F(VirtualBusTest, EchoingAdapterHandsBackTheRequestBeforeTheReply) {
  AddWorkedDevice();
  bus_->SetEcho(true);
  auto master = Open();
  const Clock::time_point written = master->Write(FromHex(kQuery));
  const TReceived received = master->Read(8 + 19, 1s);
  EXPECT_EQ(ToHex(received.All()), kQuery + " " + kWorkedReply);
  const std::vector<Clock::time_point> times = ByteTimes(received);
  ASSERT_EQ(times.size(), 27U);
  // The copy is paced as the request crosses the line, and the reply follows the turnaround.
  // Both bounds from the write: a reader woken late for the copy's last byte would shrink the
  // gap between that byte and the reply's first (seen under ThreadSanitizer beside a compile).
  EXPECT_GE(times[7] - written, Chars(8, 9600) - 1ms);
  EXPECT_GE(times[8] - written, Chars(8 + 3.5, 9600) - 1ms);

  bus_->SetEcho(false);
  master->Write(FromHex(kQuery));
  EXPECT_EQ(ToHex(master->Read(19, 1s).All()), kWorkedReply);
}

// A write whose echo is lost is taken all the same; a device with a move delay is found at the
// new rate only once the delay after its echo has passed.
TEST_F(VirtualBusTest, LostEchoAndMoveDelayChangeWhenTheDeviceMoves) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  device.SetFaults({.loseReply = true, .count = 1});
  auto master = Open();
  master->Write(FromHex("F7 06 00 01 00 05 0C 9F"));
  EXPECT_EQ(master->Read(1, 200ms).Size(), 0U) << "the echo is lost";
  EXPECT_EQ(device.Address(), 5);

  device.SetMoveDelay(300ms);
  master->Write(FromHex("05 06 00 02 00 06 A9 8C"));
  EXPECT_EQ(ToHex(master->Read(8, 1s).All()), "05 06 00 02 00 06 A9 8C");
  master->SetLine(19200);
  master->Write(FromHex("05 03 00 00 00 01 85 8E"));
  EXPECT_EQ(master->Read(1, 100ms).Size(), 0U) << "still switching";
  EXPECT_TRUE(WaitUntil([&] { return device.BaudCode() == 6; }, 1s));
  master->Write(FromHex("05 03 00 00 00 01 85 8E"));
  EXPECT_EQ(ToHex(master->Read(7, 1s).All()), "05 03 02 00 0E C8 40");
}

// A second master polls the device; the program on the port hears both sides and sends nothing.
TEST_F(VirtualBusTest, ASecondMasterIsHeardWithTheRepliesByAListener) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  auto listener = Open();
  ASSERT_TRUE(WaitUntil([&] { return bus_->PortInUse(); }, 1s));
  sim::TMasterScript script{.rate = 9600, .steps = {}, .repeat = 2};
  script.steps.push_back({.frame = FromHex(kQuery), .replyWithin = 350ms, .pause = 20ms});
  script.steps.push_back({.frame = FromHex("07 03 00 00 00 07 04 6E"), .replyWithin = 100ms});
  bus_->RunMaster(script);
  const TReceived heard = listener->Read(2 * (8 + 19 + 8), 3s, 500ms);
  EXPECT_EQ(ToHex(heard.All()), kQuery + " " + kWorkedReply + " 07 03 00 00 00 07 04 6E " + kQuery +
                                    " " + kWorkedReply + " 07 03 00 00 00 07 04 6E");
  ASSERT_TRUE(WaitUntil([&] { return bus_->MasterTally().done; }, 2s));
  const sim::TMasterTally tally = bus_->MasterTally();
  EXPECT_EQ(tally.frames, 4U);
  EXPECT_EQ(tally.replies, 2U);
  EXPECT_EQ(tally.unanswered, 2U);
  EXPECT_EQ(device.RequestCount(), 4U);
  EXPECT_EQ(bus_->BytesReceived(), 0U) << "the listener sent nothing";
}

TEST_F(VirtualBusTest, SetAddressAndBaudCodeRefuseValuesOffTheBus) {
  sim::TVirtualDevice& device = AddWorkedDevice();
  EXPECT_THROW(device.SetAddress(0), std::invalid_argument);
  EXPECT_THROW(device.SetBaudCode(9), std::invalid_argument);
  EXPECT_THROW(device.SetRegister(7, 1), std::out_of_range);
  EXPECT_THROW(bus_->AddDevice({.address = 0}), std::invalid_argument);
  device.SetAddress(33);
  EXPECT_EQ(device.Address(), 33);
  EXPECT_EQ(device.Register(1), 33);
}

}  // namespace
