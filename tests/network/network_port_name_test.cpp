// Port names of network lines: what is a network name, its parts, and the names refused.
#include <gtest/gtest.h>

#include "network/network_port_name.h"

namespace {

TEST(NetworkPortName, GoodNames) {
  struct Case {
    const char* name;
    TNetworkProtocol protocol;
    const char* host;
    std::uint16_t port;
  };
  const Case cases[] = {
      {"rfc2217://127.0.0.1:2217", TNetworkProtocol::ComPortControl, "127.0.0.1", 2217},
      {"tcp://gateway-3.site.lan:4001", TNetworkProtocol::Raw, "gateway-3.site.lan", 4001},
      {"rfc2217://[::1]:2217", TNetworkProtocol::ComPortControl, "::1", 2217},
      {"TCP://[fe80::1%eth0]:65535", TNetworkProtocol::Raw, "fe80::1%eth0", 65535},
      {"rfc2217://localhost:1/", TNetworkProtocol::ComPortControl, "localhost", 1},
  };
  for (const Case& c : cases) {
    const auto parts = ParseNetworkPortName(c.name);
    ASSERT_TRUE(parts) << c.name;
    EXPECT_TRUE(IsNetworkPortName(c.name)) << c.name;
    EXPECT_EQ(parts->protocol, c.protocol) << c.name;
    EXPECT_EQ(parts->host, c.host) << c.name;
    EXPECT_EQ(parts->port, c.port) << c.name;
  }
  EXPECT_TRUE(RateReachesLine("rfc2217://[::1]:2217"));
  EXPECT_FALSE(RateReachesLine("tcp://[::1]:2217"));
  EXPECT_TRUE(RateReachesLine("ttyUSB0"));
}

TEST(NetworkPortName, MalformedNetworkNamesAreRefused) {
  for (const char* name :
       {"rfc2217://", "rfc2217://host", "rfc2217://host:", "rfc2217://:2217", "tcp://host:0",
        "tcp://host:65536", "tcp://host:22x", "tcp://::1:2217", "tcp://[::1]2217", "tcp://[::1]",
        "tcp://[]:2217", "tcp://ho st:1", "tcp://host:123456"}) {
    EXPECT_TRUE(IsNetworkPortName(name)) << name;      // never opened as a local port...
    EXPECT_FALSE(ParseNetworkPortName(name)) << name;  // ...and refused as a network one
  }
}

TEST(NetworkPortName, LocalNamesAreNotNetworkNames) {
  for (const char* name : {"COM1", "ttyUSB0", "/dev/ttyS0", "./tcp://x:1", "rfc2217:/x:1"}) {
    EXPECT_FALSE(IsNetworkPortName(name)) << name;
  }
}

}  // namespace
