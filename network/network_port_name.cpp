#include "network/network_port_name.h"

#include <cctype>
#include <string_view>

namespace {

struct Scheme {
  std::string_view prefix;
  TNetworkProtocol protocol;
};
constexpr Scheme kSchemes[] = {{"rfc2217://", TNetworkProtocol::ComPortControl},
                               {"tcp://", TNetworkProtocol::Raw}};

const Scheme* SchemeOf(const std::string& name) {
  for (const Scheme& scheme : kSchemes) {
    if (name.size() < scheme.prefix.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < scheme.prefix.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(name[i])) == scheme.prefix[i];
    }
    if (same) return &scheme;
  }
  return nullptr;
}

bool ValidHostName(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    const auto u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '-' && c != '.' && c != '_') return false;
  }
  return true;
}

bool ValidIpv6(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    const auto u = static_cast<unsigned char>(c);
    // Hex digits, colons, a dotted IPv4 tail, and a zone after '%' (fe80::1%eth0).
    if (!std::isalnum(u) && c != ':' && c != '.' && c != '%' && c != '_' && c != '-') return false;
  }
  return host.find(':') != std::string_view::npos;
}

}  // namespace

bool IsNetworkPortName(const std::string& name) {
  return SchemeOf(name) != nullptr;
}

std::optional<TNetworkPortName> ParseNetworkPortName(const std::string& name) {
  const Scheme* scheme = SchemeOf(name);
  if (scheme == nullptr) return std::nullopt;
  std::string_view rest(name);
  rest.remove_prefix(scheme->prefix.size());
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);  // rfc2217://host:2217/

  TNetworkPortName parts;
  parts.protocol = scheme->protocol;
  std::string_view port;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
      return std::nullopt;
    const std::string_view host = rest.substr(1, close - 1);
    if (!ValidIpv6(host)) return std::nullopt;
    parts.host = std::string(host);
    port = rest.substr(close + 2);
  } else {
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view host = rest.substr(0, colon);
    if (!ValidHostName(host)) return std::nullopt;  // also refuses a bare IPv6 address
    parts.host = std::string(host);
    port = rest.substr(colon + 1);
  }
  if (port.empty() || port.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  parts.port = static_cast<std::uint16_t>(value);
  return parts;
}

bool RateReachesLine(const std::string& portName) {
  const Scheme* scheme = SchemeOf(portName);
  return scheme == nullptr || scheme->protocol != TNetworkProtocol::Raw;
}
