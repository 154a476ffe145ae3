// One pseudo-terminal pair standing for a serial adapter: the virtual device keeps the master, and
// a master program opens the slave (by its /dev/pts path or by a published link).
//
// The slave is also held open here, so the master never sees a hang-up between two users of the
// slave; who opens and closes the slave is learnt from inotify instead. That lets the line behave
// like a real port: what was sent while nobody had the port open, or left unread at its last
// close, is lost, and an exclusive-use flag (TIOCEXCL) ends with the last close.
// Not thread-safe: one owner thread (the bus thread once the bus runs).
#pragma once

#include <cstdint>
#include <string>

namespace sim {

class TPtyPort {
 public:
  // Opens the pair (posix_openpt, grantpt, unlockpt), sets the slave raw 8N1 at initialRate and,
  // when linkPath is not empty, points a symbolic link there at the slave (creating the link's
  // folder; an existing link is replaced, any other existing file is refused). Throws
  // std::system_error on failure, leaking nothing.
  TPtyPort(std::string linkPath, std::uint32_t initialRate);
  // Closes the pair (any user of the slave then sees a hang-up) and removes the link if it still
  // points at this slave.
  ~TPtyPort();
  TPtyPort(const TPtyPort&) = delete;
  TPtyPort& operator=(const TPtyPort&) = delete;

  int MasterFd() const { return master_; }
  // Readable when the slave has been opened or closed; -1 when inotify is unavailable.
  int WatchFd() const { return watch_; }
  const std::string& SlavePath() const { return slavePath_; }
  const std::string& LinkPath() const { return linkPath_; }

  // Reads the pending open and close notices. Returns true when, among them, the last user of the
  // slave closed it and none has opened it since (the caller then calls ForgetSession).
  bool ReadOpenNotices();
  // True while some program other than us has the slave open (always true without inotify).
  bool PeerHasItOpen() const { return watch_ < 0 || users_ > 0; }
  // Drops what was sent to the slave and not read, and lifts TIOCEXCL.
  void ForgetSession();

 private:
  void Publish();
  void Unpublish() noexcept;
  void CloseAll() noexcept;

  std::string linkPath_;
  std::string slavePath_;
  int master_ = -1;
  int heldSlave_ = -1;
  int watch_ = -1;
  int users_ = 0;
};

}  // namespace sim
