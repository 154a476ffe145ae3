// The real window over a network line: its ComPort1 on rfc2217://127.0.0.1:PORT, ser2net in
// front of the virtual bus. The monitor thread, the read interval and the log are those of a
// local port, so the log lines are exactly those of the window on the pty.
#include <signal.h>
#include <unistd.h>

#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "protocol/link_state.h"
#include "tests/network/gateway_fixture.h"
#include "tests/support/event_loop_wait.h"
#include "tests/support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

const char* const kOk = "   : \u041E\u041A.";

class WindowThroughGateway : public WindowOnBus {
 protected:
  void TearDown() override {
    form.reset();  // closes the connection before the gateway goes
    if (gateway_) {
      gateway_->Signal(SIGTERM);
      if (!gateway_->Wait(5s)) gateway_->Signal(SIGKILL);
      gateway_.reset();
    }
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
    WindowOnBus::TearDown();
  }

  // ser2net's telnet(rfc2217) accepter in front of the bus, and the window's port on it.
  void StartGateway() {
    if (access("/usr/sbin/ser2net", X_OK) != 0) GTEST_SKIP() << "ser2net is missing";
    char folder[] = "/tmp/tarvi-gateway-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    const std::uint16_t port = FreeLoopbackPort();
    ASSERT_NE(port, 0);
    const std::string config = folder_ + "/ser2net.yaml";
    std::ofstream(config) << "connection: &telnet\n"
                          << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port << "\n"
                          << "  connector: serialdev," << bus->SlavePath() << ",9600n81,local\n"
                          << "  options:\n    chardelay: false\n";
    gateway_ = std::make_unique<TChildProcess>(
        "/usr/sbin/ser2net",
        std::vector<std::string>{"/usr/sbin/ser2net", "-n", "-d", "-u", "-c", config});
    ASSERT_TRUE(WaitWithEvents([&] { return Listening(port); }, 10s));
    form->ComPort1->SetPort("rfc2217://127.0.0.1:" + std::to_string(port));
  }

  std::string folder_;
  std::unique_ptr<TChildProcess> gateway_;
};

TEST_F(WindowThroughGateway, ParameterQueryGivesTheExactLog) {
  sim::TVirtualDevice& device = AddDevice({.address = 247,
                                           .id = 14,
                                           .baudCode = 4,
                                           .mode = 2,
                                           .powerUpMode = 3,
                                           .onMode = 6,
                                           .remember = 1});
  device.SetRegister(1, 0);
  device.SetRegister(2, 0);
  StartGateway();
  QTest::mouseClick(form->TeButton4, Qt::LeftButton);
  ASSERT_TRUE(WaitForLine(kOk, 10s)) << testing::PrintToString(Log());
  ASSERT_TRUE(WaitForExchangeEnd());
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "TX : F7 03 00 00 00 07 10 9E ",
                       "RX : F7 03 0E 00 0E 00 00 00 00 00 02 00 03 00 06 00 01 ",
                       "     18 08 ",
                       "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ ПОСТ. & ЗВУК>",
                       kOk,
                   }));
}

TEST_F(WindowThroughGateway, SearchFindsTheDevice) {
  AddDevice({.address = 5, .id = 14});
  StartGateway();
  form->CustomItem4->trigger();  // Start
  ASSERT_TRUE(WaitWithEvents(
      [&] { return LinkState.SearchState != kSearchRunning && !form->Timer_Rx->Enabled(); }, 20s));
  const auto log = Log();
  ASSERT_EQ(log.size(), 4u) << testing::PrintToString(log);
  EXPECT_EQ(log[0], "TX : 05 03 00 00 00 01 85 8E ");
  EXPECT_EQ(log[1].rfind("RX : 05 03 02 00 ", 0), 0u) << log[1];
  EXPECT_EQ(log[2], "   : ОБНАРУЖЕН ПРИБОР <ТАРВИ-А> ПО АДРЕСУ 005");
  EXPECT_EQ(log[3], kOk);
  EXPECT_EQ(LinkState.DeviceAddress, 5);
}

}  // namespace
