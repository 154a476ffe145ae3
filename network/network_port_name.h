// Port names of lines reached through a serial device server:
//   rfc2217://HOST:PORT  telnet with the COM-port-control option: the line settings reach the line
//   tcp://HOST:PORT      the raw byte stream: the rate and framing are fixed at the server
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]); PORT is 1..65535.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class TNetworkProtocol { ComPortControl, Raw };

struct TNetworkPortName {
  TNetworkProtocol protocol = TNetworkProtocol::Raw;
  std::string host;  // without brackets
  std::uint16_t port = 0;
};

// True when the name begins with rfc2217:// or tcp:// (any case), well formed or not: such a
// name is never a local port.
bool IsNetworkPortName(const std::string& name);
// The parts of a well-formed network name; empty for a local or malformed one.
std::optional<TNetworkPortName> ParseNetworkPortName(const std::string& name);
// False for a tcp:// line, where a rate set by the program does not reach the line.
bool RateReachesLine(const std::string& portName);
