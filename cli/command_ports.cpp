// ports: the machine's serial ports with what the system tells about each.
#include <iostream>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/messages.h"
#include "cli/session.h"
#include "serial/port_discovery.h"
#include "serial/serial_device.h"

namespace {

constexpr const char* kPortsUsage = R"(Usage: tarvi-cli ports [--json] [-q]
Lists the serial ports of this machine in natural order (ttyS2 before ttyS10), with the driver,
the USB vendor:product and serial number of an adapter, and its stable /dev/serial/by-id name,
which stays the same whichever socket the adapter is plugged into.

      --json           one JSON document on standard output
  -q, --quiet          no output
  -h, --help           this help
)";

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

}  // namespace

int RunPorts(TWords words) {
  static constexpr TOptionSpec kOptions[] = {kJsonOption, kQuietOption, kHelpOption};
  const TArguments arguments(words, kOptions);
  if (arguments.Has("help")) {
    std::cout << Tr(kPortsUsage);
    return 0;
  }
  if (!arguments.Positional().empty())
    throw EUsage(Format(Tr("unexpected argument '%s'"), arguments.Positional().front().c_str()));
  const bool json = arguments.Has("json");
  const bool quiet = arguments.Has("quiet");

  const auto ports = ReadSystemPortDetails();
  if (!ports) {
    const std::string message = Tr("the system's list of serial ports cannot be read");
    std::cerr << kProgramName << ": " << message << '\n';
    if (json) std::cout << ErrorJson("port", message) << '\n';
    return 3;
  }
  if (json) {
    TJsonWriter writer;
    writer.BeginObject().Key("ports").BeginArray();
    for (const TPortDetails& port : *ports) {
      writer.BeginObject();
      writer.Member("name", port.name).Member("path", TSerialDevice::PathOf(port.name));
      writer.Member("driver", port.driver.empty() ? nullptr : port.driver.c_str());
      writer.Key("usb");
      if (port.usbVendorId.empty()) {
        writer.Null();
      } else {
        writer.BeginObject();
        writer.Member("vendor", port.usbVendorId).Member("product", port.usbProductId);
        writer.Member("serial", port.serialNumber.empty() ? nullptr : port.serialNumber.c_str());
        writer.Member("manufacturer",
                      port.manufacturer.empty() ? nullptr : port.manufacturer.c_str());
        writer.Member("product_name", port.product.empty() ? nullptr : port.product.c_str());
        writer.EndObject();
      }
      writer.Key("by_id").BeginArray();
      for (const std::string& path : port.byIdPaths)
        writer.String(path);
      writer.EndArray().EndObject();
    }
    writer.EndArray().EndObject();
    std::cout << writer.Text() << '\n';
    return 0;
  }
  if (quiet) return 0;
  if (ports->empty()) {
    std::cout << Tr("no serial port found") << '\n';
    return 0;
  }
  std::size_t widths[4] = {4, 6, 9, 6};
  for (const TPortDetails& port : *ports) {
    widths[0] = std::max(widths[0], TSerialDevice::PathOf(port.name).size());
    widths[1] = std::max(widths[1], OrDash(port.driver).size());
    widths[3] = std::max(widths[3], OrDash(port.serialNumber).size());
  }
  const auto row = [&](const std::string& a, const std::string& b, const std::string& c,
                       const std::string& d, const std::string& e) {
    std::cout << Format("%-*s  %-*s  %-*s  %-*s  %s", static_cast<int>(widths[0]), a.c_str(),
                        static_cast<int>(widths[1]), b.c_str(), static_cast<int>(widths[2]),
                        c.c_str(), static_cast<int>(widths[3]), d.c_str(), e.c_str())
              << '\n';
  };
  row(Tr("PORT"), Tr("DRIVER"), Tr("USB"), Tr("SERIAL"), Tr("STABLE NAME"));
  for (const TPortDetails& port : *ports) {
    const std::string usb =
        port.usbVendorId.empty() ? "-" : port.usbVendorId + ":" + port.usbProductId;
    std::string byId = port.byIdPaths.empty() ? "-" : port.byIdPaths.front();
    for (std::size_t i = 1; i < port.byIdPaths.size(); ++i)
      byId += " " + port.byIdPaths[i];
    row(TSerialDevice::PathOf(port.name), OrDash(port.driver), usb, OrDash(port.serialNumber),
        byId);
  }
  return 0;
}
