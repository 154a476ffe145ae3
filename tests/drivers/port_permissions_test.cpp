// A real port as a user without root's override: without the port's group the open is refused
// (13), with it the program works, and a second program on a port that one holds is refused as
// busy (16): the driver's exclusive mode binds users other than root.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTest>
#include <array>
#include <cstdio>

#include "serial/com_port.h"
#include "tests/drivers/real_port_window.h"
#include "tests/support/program_dir.h"

namespace {

constexpr uid_t kUser = 1000;
constexpr gid_t kDialout = 20;

// While this lives, the whole process (every thread) acts as the user, with the given
// supplementary groups; root's identity comes back at the end (it stays the saved identity).
class TAsUser {
 public:
  explicit TAsUser(std::vector<gid_t> groups) {
    ok_ = setgroups(groups.size(), groups.data()) == 0 && setegid(kUser) == 0 &&
          seteuid(kUser) == 0;
  }
  ~TAsUser() {
    if (seteuid(0) != 0 || setegid(0) != 0 || setgroups(0, nullptr) != 0) std::abort();
  }
  TAsUser(const TAsUser&) = delete;
  TAsUser& operator=(const TAsUser&) = delete;
  bool Ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// Runs the probe program as the user (from root) with the given groups ("" for none) and returns its output.
std::string ProbeAsUser(const std::string& port, const std::string& groups) {
  const std::string command = "setpriv --reuid=" + std::to_string(kUser) +
                              " --regid=" + std::to_string(kUser) +
                              (groups.empty() ? " --clear-groups" : " --groups=" + groups) + " " +
                              ProgramDir() + "/port_open_probe" + " " + port + " 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  std::array<char, 256> chunk{};
  while (fgets(chunk.data(), chunk.size(), pipe) != nullptr)
    output += chunk.data();
  pclose(pipe);
  return output;
}

class PortPermissions : public RealPortWindow {
 protected:
  void SetUp() override {
    RealPortWindow::SetUp();
    // The node as a distribution sets it up: the port's group may read and write.
    ASSERT_EQ(chown(node.c_str(), 0, kDialout), 0);
    ASSERT_EQ(chmod(node.c_str(), 0660), 0);
  }
};

TEST_F(PortPermissions, WithoutTheGroupTheOpenIsRefusedWithCode13) {
  EXPECT_EQ(ProbeAsUser(port, ""), "Unable to open com port (win error code: 13)\ncode 13\n");
  {
    TAsUser user({});
    ASSERT_TRUE(user.Ok());
    Query();
  }
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : F7 03 00 00 00 07 10 9E ", "RX :",
                                             "   : ОШИБКА ОТКРЫТИЯ ПОРТА " + port}));
}

TEST_F(PortPermissions, WithTheGroupTheQueryWorks) {
  EXPECT_EQ(ProbeAsUser(port, "20"), "opened\n");
  TAsUser user({kDialout});
  ASSERT_TRUE(user.Ok());
  Query();
  ASSERT_TRUE(WaitForVerdict()) << testing::PrintToString(Log());
  EXPECT_EQ(Log().back(), kOk) << testing::PrintToString(Log());
}

TEST_F(PortPermissions, ASecondProgramOnAHeldPortIsRefusedAsBusy) {
  TComPort holder;
  holder.SetPort(port);
  holder.SetSyncMethod(smNone);
  {
    TAsUser user({kDialout});
    ASSERT_TRUE(user.Ok());
    ASSERT_NO_THROW(holder.OpenPort());
  }
  EXPECT_EQ(ProbeAsUser(port, "20"), "Unable to open com port (win error code: 16)\ncode 16\n");
  holder.ClosePort();
  EXPECT_EQ(ProbeAsUser(port, "20"), "opened\n");
}

}  // namespace
