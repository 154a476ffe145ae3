// ports: the machine's serial ports with what the system tells about each.
#include <algorithm>
#include <iostream>

#include "bus/messages.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/port_shown.h"
#include "cli/session.h"
#include "serial/port_discovery.h"
#include "serial/serial_device.h"

namespace {

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

const char* OrNull(const std::string& text) {
  return text.empty() ? nullptr : text.c_str();
}

std::string PortsJson(const std::vector<TPortDetails>& ports) {
  TJsonWriter writer;
  writer.BeginObject().Key("ports").BeginArray();
  for (const TPortDetails& port : ports) {
    writer.BeginObject();
    writer.Member("name", port.name).Member("path", TSerialDevice::PathOf(port.name));
    writer.Member("driver", OrNull(port.driver));
    writer.Key("latency_ms");
    if (port.latencyMs) {
      writer.Number(*port.latencyMs);
    } else {
      writer.Null();
    }
    writer.Key("usb");
    if (port.usbVendorId.empty()) {
      writer.Null();
    } else {
      writer.BeginObject();
      writer.Member("vendor", port.usbVendorId).Member("product", port.usbProductId);
      writer.Member("serial", OrNull(port.serialNumber));
      writer.Member("manufacturer", OrNull(port.manufacturer));
      writer.Member("product_name", OrNull(port.product));
      writer.EndObject();
    }
    writer.Key("by_id").BeginArray();
    for (const std::string& path : port.byIdPaths)
      writer.String(path);
    writer.EndArray().EndObject();
  }
  return writer.EndArray().EndObject().Text();
}

// A table with a column each for the port, the driver, the adapter's latency timer, the USB ids,
// the serial number and the stable names.
void ShowPorts(const std::vector<TPortDetails>& ports) {
  if (ports.empty()) {
    std::cout << Tr("no serial port found") << '\n';
    return;
  }
  // Columns are measured in characters: the headers may be Cyrillic, two bytes a letter.
  const std::string headers[6] = {Tr("PORT"), Tr("DRIVER"), Tr("LATENCY"),
                                  Tr("USB"),  Tr("SERIAL"), Tr("STABLE NAME")};
  const auto latencyOf = [](const TPortDetails& port) {
    return port.latencyMs ? Format(Tr("%d ms"), *port.latencyMs) : std::string("-");
  };
  std::size_t widths[5] = {
      DisplayWidth(headers[0]), DisplayWidth(headers[1]), DisplayWidth(headers[2]),
      std::max<std::size_t>(9, DisplayWidth(headers[3])), DisplayWidth(headers[4])};
  for (const TPortDetails& port : ports) {
    widths[0] = std::max(widths[0], DisplayWidth(PortShown(port.name)));
    widths[1] = std::max(widths[1], DisplayWidth(OrDash(port.driver)));
    widths[2] = std::max(widths[2], DisplayWidth(latencyOf(port)));
    widths[4] = std::max(widths[4], DisplayWidth(OrDash(port.serialNumber)));
  }
  const auto row = [&](const std::string& a, const std::string& b, const std::string& c,
                       const std::string& d, const std::string& e, const std::string& f) {
    std::cout << PadRight(a, widths[0]) << "  " << PadRight(b, widths[1]) << "  "
              << PadRight(c, widths[2]) << "  " << PadRight(d, widths[3]) << "  "
              << PadRight(e, widths[4]) << "  " << f << '\n';
  };
  row(headers[0], headers[1], headers[2], headers[3], headers[4], headers[5]);
  for (const TPortDetails& port : ports) {
    const std::string usb =
        port.usbVendorId.empty() ? "-" : port.usbVendorId + ":" + port.usbProductId;
    std::string byId = port.byIdPaths.empty() ? "-" : port.byIdPaths.front();
    for (std::size_t i = 1; i < port.byIdPaths.size(); ++i)
      byId += " " + port.byIdPaths[i];
    row(PortShown(port.name), OrDash(port.driver), latencyOf(port), usb, OrDash(port.serialNumber),
        byId);
  }
}

}  // namespace

TExitStatus RunPorts(const TInvocation& invocation) {
  const TCommon& common = invocation.common;
  const auto ports = ReadSystemPortDetails();
  if (!ports) {
    ReportFailure(common, "port", Tr("the system's list of serial ports cannot be read"));
    return TExitStatus::PortFailed;
  }
  if (common.json) {
    std::cout << PortsJson(*ports) << '\n';
    return TExitStatus::Done;
  }
  if (!common.quiet) ShowPorts(*ports);
  return TExitStatus::Done;
}
