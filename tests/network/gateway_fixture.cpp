#include "tests/network/gateway_fixture.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "network/network_line.h"
#include "tests/support/wait_until.h"

namespace {

constexpr const char* kSer2net = "/usr/sbin/ser2net";

}  // namespace

std::uint16_t FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  std::uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool Listening(std::uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;  // 0A: LISTEN
  }
  return false;
}

void GatewayTest::SetUp() {
  RegisterNetworkLines();
  ASSERT_FALSE(BinDir().empty());
  if (access(kSer2net, X_OK) != 0) GTEST_SKIP() << "ser2net is missing: run scripts/install-deps";
  telnetBus_ = std::make_unique<sim::TVirtualBus>();
  rawBus_ = std::make_unique<sim::TVirtualBus>();
  char folder[] = "/tmp/tarvi-gateway-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  folder_ = folder;
  telnetPort_ = FreeLoopbackPort();
  rawPort_ = FreeLoopbackPort();
  ASSERT_NE(telnetPort_, 0);
  ASSERT_NE(rawPort_, 0);
  ASSERT_NE(telnetPort_, rawPort_);
}

void GatewayTest::TearDown() {
  StopGateway();
  telnetBus_.reset();
  rawBus_.reset();
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

void GatewayTest::StartLines() {
  if (linesStarted_) return;
  telnetBus_->Start();
  rawBus_->Start();
  linesStarted_ = true;
}

void GatewayTest::StartGateway() {
  StartLines();
  const std::string config = folder_ + "/ser2net.yaml";
  {
    std::ofstream out(config);
    out << "connection: &telnet\n"
        << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnetPort_ << "\n"
        << "  connector: serialdev," << telnetBus_->SlavePath() << ",9600n81,local\n"
        << "  options:\n"
        << "    chardelay: false\n"
        << "connection: &raw\n"
        << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
        << "  connector: serialdev," << rawBus_->SlavePath() << ",9600n81,local\n"
        << "  options:\n"
        << "    chardelay: false\n";
  }
  // -n -d: in the foreground, its messages on stdout; -u: no UUCP lock files in /var/lock.
  gateway_ = std::make_unique<TChildProcess>(
      kSer2net, std::vector<std::string>{kSer2net, "-n", "-d", "-u", "-c", config});
  const bool ready = WaitUntil([&] { return Listening(telnetPort_) && Listening(rawPort_); },
                               std::chrono::seconds(10),
                               [&] {
                                 if (gateway_->Wait(std::chrono::milliseconds(5))) return;
                               });
  ASSERT_TRUE(ready) << "ser2net did not listen on " << telnetPort_ << " and " << rawPort_ << ": "
                     << gateway_->Stdout() << gateway_->Stderr();
}

void GatewayTest::StopGateway() {
  if (!gateway_) return;
  gateway_->Signal(SIGTERM);
  if (!gateway_->Wait(std::chrono::seconds(5))) gateway_->Signal(SIGKILL);
  gateway_->Wait(std::chrono::seconds(5));
  gateway_.reset();  // reaps it, killing it first if it is still there
  // Its listening sockets close with it: wait until a new one can take the ports.
  WaitUntil([&] { return !Listening(telnetPort_) && !Listening(rawPort_); },
            std::chrono::seconds(5));
}

std::string GatewayTest::TelnetPort() const {
  return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_);
}

std::string GatewayTest::RawPort() const {
  return "tcp://127.0.0.1:" + std::to_string(rawPort_);
}
