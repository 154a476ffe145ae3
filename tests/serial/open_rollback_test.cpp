// An open whose settings step (or a step of the opening itself) fails leaves nothing behind: the
// port closed, no monitor, every descriptor released with its lock, so that the next open succeeds.
// A pseudo-terminal accepts every setting, so this program puts its own ioctl in front of the C
// library's and fails the chosen request on demand.
#include <asm/termbits.h>
#include <dlfcn.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <filesystem>

#include "tests/serial/serial_fixture.h"

namespace {

std::atomic<unsigned long> failingRequest{0};

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (request == failingRequest.load()) {
    errno = EIO;
    return -1;
  }
  using Ioctl = int (*)(int, unsigned long, ...);
  static const auto real = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
  return real(fd, request, argument);
}

namespace {

struct FailingStep {
  const char* name;
  unsigned long request;
  int failureCode;
};

class FailedSettingsStep : public PortOnPty, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(FailedSettingsStep, LeavesThePortClosedAndEveryDescriptorReleased) {
  const int before = OpenDescriptors();
  failingRequest = GetParam().request;
  try {
    port_.OpenPort();
    ADD_FAILURE() << "the open succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, GetParam().failureCode);
    EXPECT_EQ(e.SystemErrorCode, EIO);
  }
  failingRequest = 0;
  EXPECT_FALSE(port_.Connected());
  EXPECT_EQ(port_.Monitor(), nullptr);
  EXPECT_EQ(OpenDescriptors(), before);
  // The exclusive lock went with the descriptor: the port opens again and works.
  port_.OpenPort();
  EXPECT_TRUE(port_.Connected());
  const std::uint8_t byte = 0x5A;
  port_.WritePort(&byte, 1);
  EXPECT_EQ(pty_.Receive(1, std::chrono::milliseconds(2000)), std::vector<std::uint8_t>{0x5A});
  port_.ClosePort();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailedSettingsStep,
    ::testing::Values(FailingStep{"LineSettings", TCSETS2, CError_SetStateFailed},
                      FailingStep{"DropModemLinesOnOpen", TIOCMBIC, CError_OpenFailed}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
