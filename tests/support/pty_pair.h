// A pseudo-terminal pair for serial tests: the slave's path is the "port" that the code under test
// opens, and the test plays the far end of the line on the master side.
//
// Every call runs on the calling thread; reads wait with a deadline, never a fixed sleep.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TPtyPair {
 public:
  // Opens a new master and unlocks its slave. Throws std::runtime_error on failure.
  TPtyPair();
  ~TPtyPair();
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // Writes all bytes to the master (the line towards the port). Throws on failure.
  void Send(const std::vector<std::uint8_t>& bytes);
  // Reads from the master until count bytes came or the timeout passed; returns what came.
  std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout);
  // The output rate in bits per second that the slave side has set (TCGETS2, so any rate).
  std::uint32_t SlaveRate() const;
  // Closes the master: the slave side sees a hang-up, like an adapter pulled out.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slavePath_;
};
