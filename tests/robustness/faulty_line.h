// The real window on a line that misbehaves: the e2e fixture with a bus that publishes its
// adapter under a stable link (so that a re-plugged adapter is found again under the same name)
// and counts every byte the devices schedule, so that a test can wait until a faulty reply has
// left the line before it gives the next command.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/window_fixture.h"
#include "tests/support/fake_sysfs.h"

// The lines an exchange ends with: the verdict of its reply, the time-out, the CRC error, or the
// port that could not be opened. One per exchange, except that a garbled reply whose function
// byte reads as an exception code gets "   : ОШИБКА." before its "   : CRC ERROR.".
bool IsVerdict(const std::string& line);

class FaultyLine : public WindowOnBus {
 protected:
  void SetUp() override;

  // A device of the family at 57600 Bd (fast exchanges), the window's port and its confirmed
  // rate set to match.
  sim::TVirtualDevice& AddFastDevice(sim::TDeviceConfig config = {});

  // Presses "ЗАПРОС ПАРАМЕТРОВ".
  void QueryParameters();
  // Waits until the exchange in flight has ended with a verdict.
  bool WaitForVerdict(std::chrono::milliseconds timeout = std::chrono::seconds(8));
  // The verdict lines of the log as shown now.
  std::vector<std::string> Verdicts() const;
  // Waits until every byte the devices scheduled has crossed the line and the bus has seen the
  // window's port closed (what it sent meanwhile is then dropped, as on a real port).
  bool WaitForQuietLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // A parameter query on a quiet line: it must show the whole block and end in "   : ОК.", with
  // nothing left busy.
  ::testing::AssertionResult CleanQueryWorks(const sim::TVirtualDevice& device);

  std::string link;  // where the adapter is published
  std::atomic<std::size_t> scheduledBytes{0};

 private:
  TScratchFolder linkFolder_;
};

extern const char* const kOk;  // "   : ОК." in Cyrillic letters
