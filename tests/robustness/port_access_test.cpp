// Ports that cannot be had: held by another program, or without permission. The exchange says
// the port cannot be opened, and the next query works once the port is free again.
#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "protocol/link_state.h"
#include "serial/com_port.h"
#include "tests/support/event_loop_wait.h"
#include "tests/robustness/faulty_line.h"

namespace {

using namespace std::chrono_literals;

// Another program holding the port: a child process that opens it and takes its lock.
class TPortHolder {
 public:
  explicit TPortHolder(const std::string& path) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and the end of the child.
      const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      const char answer = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
      (void)!write(ready[1], &answer, 1);
      for (;;)
        pause();
    }
    close(ready[1]);
    char answer = 'n';
    if (pid_ > 0 && read(ready[0], &answer, 1) == 1) locked_ = answer == 'y';
    close(ready[0]);
  }
  ~TPortHolder() { Release(); }
  TPortHolder(const TPortHolder&) = delete;
  TPortHolder& operator=(const TPortHolder&) = delete;

  bool Locked() const { return locked_; }
  void Release() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool locked_ = false;
};

// Root opens any file; while this lives, the calling thread (the window's thread, which opens
// the port) works without the capabilities that let it.
class TWithoutFileOverride {
 public:
  TWithoutFileOverride() {
    if (geteuid() != 0) return;
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    const unsigned mask = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    lowered[0].effective &= ~mask;
    active_ = syscall(SYS_capset, &header_, lowered) == 0;
  }
  ~TWithoutFileOverride() {
    if (active_) syscall(SYS_capset, &header_, saved_);
  }
  TWithoutFileOverride(const TWithoutFileOverride&) = delete;
  TWithoutFileOverride& operator=(const TWithoutFileOverride&) = delete;
  bool Effective() const { return geteuid() != 0 || active_; }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
};

// The system error code of opening the port, as the component reports it (0: it opened).
int OpenError(const std::string& path) {
  TComPort port;
  port.SetPort(path);
  try {
    port.OpenPort();
  } catch (const EComPort& failure) {
    return failure.SystemErrorCode;
  }
  port.ClosePort();
  return 0;
}

TEST_F(FaultyLine, PortHeldByAnotherProgramCannotBeOpenedUntilItIsReleased) {
  sim::TVirtualDevice& device = AddFastDevice();
  TPortHolder holder(link);
  ASSERT_TRUE(holder.Locked());
  EXPECT_EQ(OpenError(link), EWOULDBLOCK);

  QueryParameters();
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : F7 03 00 00 00 07 10 9E ",
                                             "RX :", "   : ОШИБКА ОТКРЫТИЯ ПОРТА " + link}));
  EXPECT_FALSE(form->ComPort1->Connected());
  EXPECT_EQ(device.RequestCount(), 0u) << "nothing may go out on a port we do not hold";

  holder.Release();
  ASSERT_TRUE(WaitForQuietLine());
  EXPECT_TRUE(CleanQueryWorks(device));
}

TEST_F(FaultyLine, PortWithoutPermissionCannotBeOpenedUntilItIsGiven) {
  sim::TVirtualDevice& device = AddFastDevice();
  const std::string slave = bus->SlavePath();
  struct stat before {};
  ASSERT_EQ(stat(slave.c_str(), &before), 0);
  ASSERT_EQ(chmod(slave.c_str(), 0), 0);
  {
    TWithoutFileOverride lowered;
    ASSERT_TRUE(lowered.Effective()) << "cannot give up the capability to open any file";
    EXPECT_EQ(OpenError(link), EACCES);
    QueryParameters();
  }
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : F7 03 00 00 00 07 10 9E ",
                                             "RX :", "   : ОШИБКА ОТКРЫТИЯ ПОРТА " + link}));
  EXPECT_EQ(device.RequestCount(), 0u);

  ASSERT_EQ(chmod(slave.c_str(), before.st_mode & 07777), 0);
  EXPECT_TRUE(CleanQueryWorks(device));
}

}  // namespace
