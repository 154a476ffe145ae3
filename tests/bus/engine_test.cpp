// The engine of whole-line work in this process, on a virtual line (devices on a pty): a scan
// across rates as its observer sees it, and stop tokens requested from another thread while a
// scan probes and while a watch pauses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "bus/apply.h"
#include "bus/lines.h"
#include "bus/scan.h"
#include "bus/watch.h"
#include "protocol/baud_rates.h"
#include "sim/virtual_bus.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

sim::TDeviceConfig Device(std::uint8_t address, std::uint8_t baudCode, std::uint16_t id = 14) {
  sim::TDeviceConfig config;
  config.address = address;
  config.baudCode = baudCode;
  config.id = id;
  return config;
}

std::uint8_t IndexOf(unsigned rate) {
  const std::optional<std::uint8_t> index = BaudIndexOfRate(rate);
  if (!index) ADD_FAILURE() << rate << " Bd is not a rate of the family";
  return index.value_or(0);
}

// Requests a stop from a thread of its own once `due` holds (then after `after`), and tells how
// long the operation took to return after the request.
class TStopFromAnotherThread {
 public:
  TStopFromAnotherThread(std::function<bool()> due, std::chrono::milliseconds after = 0ms)
      : thread_([this, due = std::move(due), after](std::stop_token ended) {
          while (!ended.stop_requested() && !due())
            std::this_thread::sleep_for(1ms);
          std::this_thread::sleep_for(after);
          requestedAt_.store(Clock::now().time_since_epoch().count());
          stop_.request_stop();
        }) {}
  std::stop_token Token() const { return stop_.get_token(); }
  // Called as the operation returns: how long after the request that was (nothing when the stop
  // was never requested).
  std::optional<Clock::duration> LateBy() {
    const Clock::time_point returnedAt = Clock::now();
    thread_.request_stop();
    thread_.join();
    if (requestedAt_.load() == 0) return std::nullopt;
    return returnedAt - Clock::time_point(Clock::duration(requestedAt_.load()));
  }

 private:
  std::stop_source stop_;
  std::atomic<Clock::time_point::rep> requestedAt_{0};
  std::jthread thread_;
};

// The stop was requested and the operation returned within 100 ms of it.
void ExpectReturnedSoonAfter(TStopFromAnotherThread& stopper) {
  const std::optional<Clock::duration> late = stopper.LateBy();
  ASSERT_TRUE(late) << "the stop was never requested";
  EXPECT_LT(*late, 100ms) << std::chrono::duration<double, std::milli>(*late).count() << " ms";
}

// What a scan told its observer, in order.
class TScanRecord : public TScanObserver {
 public:
  void Progress(const TScanProgress& progress) override {
    progress_.push_back(progress);
    lastAddress_.store(progress.address);
  }
  void Found(const TFind& find) override { finds_.push_back(find); }
  void OtherFamily(const TProbeResult& result, std::uint8_t baudIndex) override {
    others_.emplace_back(result.address, baudIndex);
  }
  void Garbled(const TProbeResult& result, std::uint8_t) override {
    garbled_.push_back(result.address);
  }

  std::vector<TScanProgress> progress_;
  std::vector<TFind> finds_;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> others_;
  std::vector<std::uint8_t> garbled_;
  std::atomic<unsigned> lastAddress_{0};
};

class BusEngine : public ::testing::Test {
 protected:
  void SetUp() override { bus_ = std::make_unique<sim::TVirtualBus>(); }
  void TearDown() override {
    lines_.reset();  // the port closes before the line goes
    bus_.reset();
  }
  TLines& Lines() {
    lines_ = std::make_unique<TLines>(TLineSetup{});
    return *lines_;
  }

  std::unique_ptr<sim::TVirtualBus> bus_;
  std::unique_ptr<TLines> lines_;
};

// Three devices of the family at three rates, one of another family, and a find whose first
// reply is garbled: each is reported once, at its own rate, with its block; the garbled reply is
// asked for again and not reported; the progress covers every address at every rate in order.
TEST_F(BusEngine, ScanAcrossThreeRatesReportsEachDeviceOnceAtItsRate) {
  bus_->AddDevice(Device(2, 1));  // 1200 Bd
  bus_->AddDevice(Device(5, 4));  // 9600 Bd
  bus_->AddDevice(Device(4, 4, 99));
  sim::TFaults garbleOnce;
  garbleOnce.corruptByte = 3;
  garbleOnce.count = 1;
  bus_->AddDevice(Device(6, 8, 15)).SetFaults(garbleOnce);  // 57600 Bd
  bus_->Start();

  TScanPlan plan;
  plan.port = bus_->SlavePath();
  plan.rates = {IndexOf(1200), IndexOf(9600), IndexOf(57600)};
  plan.from = 1;
  plan.to = 6;
  TScanRecord record;
  const TScanTally tally = Scan(Lines(), plan, record, std::stop_token{});

  struct TExpected {
    std::uint8_t address;
    unsigned rate;
    unsigned id;
  };
  const TExpected expected[] = {{2, 1200, 14}, {5, 9600, 14}, {6, 57600, 15}};
  ASSERT_EQ(record.finds_.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    const TFind& find = record.finds_[i];
    EXPECT_EQ(find.address, expected[i].address);
    EXPECT_EQ(BaudTable[find.baudIndex], expected[i].rate);
    EXPECT_EQ(find.id, expected[i].id);
    ASSERT_TRUE(find.reading) << (find.blockFault ? find.blockFault->what() : "");
    EXPECT_EQ(find.reading->block.address, unsigned{expected[i].address});
  }
  ASSERT_EQ(record.others_.size(), 1u);
  EXPECT_EQ(record.others_[0], std::make_pair(std::uint8_t{4}, IndexOf(9600)));
  EXPECT_TRUE(record.garbled_.empty());
  EXPECT_EQ(tally.found, 3u);
  EXPECT_EQ(tally.others, 1u);
  EXPECT_EQ(tally.probes, 3u * 6u + 1u);  // the garbled probe asked once more

  ASSERT_EQ(record.progress_.size(), 3u * 6u);
  for (std::size_t i = 0; i < record.progress_.size(); ++i) {
    SCOPED_TRACE(i);
    const TScanProgress& at = record.progress_[i];
    EXPECT_EQ(at.address, 1 + i % 6);
    EXPECT_EQ(at.baudIndex, plan.rates[i / 6]);
    EXPECT_EQ(at.rateNumber, 1 + i / 6);
    EXPECT_EQ(at.total, 18u);
    if (i > 0) {
      EXPECT_LE(at.left, record.progress_[i - 1].left);
    }
  }
  EXPECT_GT(record.progress_.front().left, record.progress_.back().left);
}

// A stop requested from another thread in the middle of a scan ends it at once: within 100 ms,
// with what was found before reported, and the addresses after it not probed.
TEST_F(BusEngine, ScanEndsSoonAfterAStopFromAnotherThread) {
  bus_->AddDevice(Device(3, 4));
  bus_->Start();
  TScanPlan plan;
  plan.port = bus_->SlavePath();
  plan.rates = {IndexOf(9600)};
  plan.delay = 30ms;  // each silent address: 30 ms and the request's line time
  TScanRecord record;
  TStopFromAnotherThread stopper([&] { return record.lastAddress_.load() >= 20; });
  const TScanTally tally = Scan(Lines(), plan, record, stopper.Token());
  ExpectReturnedSoonAfter(stopper);
  EXPECT_LT(record.lastAddress_.load(), 40u);
  EXPECT_EQ(tally.found, 1u);
  EXPECT_EQ(record.finds_.size(), 1u);
}

// The rows an apply ended, as the observer was told.
class TApplyRecord : public TApplyObserver {
 public:
  void RowEnded(const TPlanRow& row, const TRowResult& result) override {
    lines_.push_back(row.line);
    ends_.push_back(result.end);
    ended_.store(static_cast<unsigned>(lines_.size()));
  }
  std::vector<int> lines_;
  std::vector<TRowEnd> ends_;
  std::atomic<unsigned> ended_{0};
};

// A stop requested from another thread while a plan is carried out: no row begins after it, and
// the rows that ended before it were reported with their results.
TEST_F(BusEngine, ApplyBeginsNoRowAfterAStopFromAnotherThread) {
  bus_->AddDevice(Device(1, 4));
  bus_->Start();
  std::vector<TPlanRow> rows;
  for (int i = 0; i < 40; ++i) {
    TPlanRow row;
    row.line = i + 2;
    row.port = bus_->SlavePath();
    row.address = static_cast<std::uint8_t>(i + 1);  // only the first answers
    row.baudIndex = IndexOf(9600);
    row.wanted.values[0] = 3;  // the power-up mode
    rows.push_back(row);
  }
  TApplyRecord record;
  TStopFromAnotherThread stopper([&] { return record.ended_.load() >= 4; });
  const TApplyTally tally = Apply(Lines(), rows, {30ms, false}, record, stopper.Token());
  ExpectReturnedSoonAfter(stopper);
  ASSERT_GE(record.ends_.size(), 4u);
  EXPECT_LT(record.ends_.size(), 10u);
  EXPECT_EQ(record.ends_[0], TRowEnd::Changed);
  EXPECT_EQ(record.ends_[1], TRowEnd::Failed);
  EXPECT_EQ(tally.changed, 1u);
  EXPECT_EQ(tally.failed, record.ends_.size() - 1);
}

// What a watch told its observer.
class TWatchRecord : public TWatchObserver {
 public:
  void ReadEnded(const TWatchRead& read) override {
    std::lock_guard lock(mutex_);
    reads_.push_back(read);
    ended_.store(read.number);
  }
  std::mutex mutex_;
  std::vector<TWatchRead> reads_;
  std::atomic<unsigned> ended_{0};
};

// A stop requested from another thread during a watch's long pause ends the pause at once; the
// reads before it carry the block read before them, the first none.
TEST_F(BusEngine, WatchPauseEndsAtAStopFromAnotherThread) {
  bus_->AddDevice(Device(9, 4));
  bus_->Start();
  TDeviceLine& line = Lines().Line(bus_->SlavePath(), IndexOf(9600));
  TWatchRecord record;
  TWatch watch(line, {9, IndexOf(9600), std::nullopt, {}}, {0, 10s}, record);
  // Well into the pause: 50 ms after the first read.
  TStopFromAnotherThread stopper([&] { return record.ended_.load() >= 1; }, 50ms);
  watch.Run(stopper.Token());
  ExpectReturnedSoonAfter(stopper);
  EXPECT_EQ(watch.Tally().reads, 1u);
  EXPECT_EQ(watch.Tally().replyMs.size(), 1u);
  std::lock_guard lock(record.mutex_);
  ASSERT_EQ(record.reads_.size(), 1u);
  EXPECT_TRUE(record.reads_[0].reading);
  EXPECT_FALSE(record.reads_[0].previous);
}

}  // namespace
