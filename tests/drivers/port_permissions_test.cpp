// A real port as a user without root's override: without the port's group the open is refused
// (13), with it the program works, and a second program on a port that one holds is refused as
// busy (16): the driver's exclusive mode binds users other than root, the lock binds root too.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTest>

#include "serial/com_port.h"
#include "tests/drivers/port_probe.h"
#include "tests/drivers/real_port_window.h"

namespace {

// While this lives, the whole process (every thread) acts as the test user, with the given
// supplementary groups; root's identity comes back at the end (it stays the saved identity).
class TAsUser {
 public:
  explicit TAsUser(std::vector<gid_t> groups) {
    ok_ = setgroups(groups.size(), groups.data()) == 0 && setegid(kTestUser) == 0 &&
          seteuid(kTestUser) == 0;
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
  EXPECT_EQ(Log(), (std::vector<std::string>{"TX : F7 03 00 00 00 07 10 9E ",
                                             "RX :", "   : ОШИБКА ОТКРЫТИЯ ПОРТА " + port}));
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
  // Root is not bound by the exclusive mode; the lock on the port keeps it out (11).
  EXPECT_EQ(ProbeAsRoot(port), "Unable to open com port (win error code: 11)\ncode 11\n");
  holder.ClosePort();
  EXPECT_EQ(ProbeAsUser(port, "20"), "opened\n");
}

}  // namespace
