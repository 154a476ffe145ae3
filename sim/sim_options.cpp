#include "sim/sim_options.h"

#include <charconv>
#include <limits>
#include <utility>

#include "sim/line_timing.h"

namespace sim {
namespace {

using namespace std::string_view_literals;

constexpr unsigned kMaxMs = 3'600'000;

[[noreturn]] void Fail(const std::string& message) {
  throw TUsageError(message);
}

unsigned Number(std::string_view key, std::string_view text, unsigned low, unsigned high) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
      value > high) {
    Fail(std::string(key) + ": expected a number " + std::to_string(low) + ".." +
         std::to_string(high) + ", got '" + std::string(text) + "'");
  }
  return value;
}

std::chrono::milliseconds Millis(std::string_view key, std::string_view text) {
  return std::chrono::milliseconds(Number(key, text, 0, kMaxMs));
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::vector<std::uint8_t> HexBytes(std::string_view key, std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::string digits;
  for (char c : text) {
    if (c == ':' || c == ' ') continue;
    digits += c;
  }
  if (digits.empty() || digits.size() % 2 != 0)
    Fail(std::string(key) + ": expected hex bytes, e.g. 0A:FF");
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(digits.data() + i, digits.data() + i + 2, value, 16);
    if (error != std::errc() || end != digits.data() + i + 2)
      Fail(std::string(key) + ": '" + std::string(text) + "' is not hex bytes");
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

// Keys that take no value.
bool IsFlag(std::string_view key) {
  return key == "silent" || key == "hangup" || key == "lose-reply";
}

bool IsDeviceKey(std::string_view key) {
  static constexpr std::array kKeys = {
      "addr"sv,      "address"sv,         "id"sv,        "baud"sv,  "regs"sv,  "turnaround"sv,
      "silent"sv,    "corrupt"sv,         "exception"sv, "late"sv,  "split"sv, "extra"sv,
      "garbage"sv,   "garbage-instead"sv, "hangup"sv,    "count"sv, "reply"sv, "lose-reply"sv,
      "move-delay"sv};
  for (std::string_view k : kKeys)
    if (k == key) return true;
  return false;
}

void ApplyDeviceKey(TDeviceSpec& spec, std::string_view key, std::string_view value) {
  TFaults& f = spec.faults;
  if (key == "addr" || key == "address") {
    spec.config.address = static_cast<std::uint8_t>(Number(key, value, 1, 255));
  } else if (key == "id") {
    spec.config.id = static_cast<std::uint16_t>(Number(key, value, 0, 65535));
  } else if (key == "baud") {
    spec.config.baudCode = static_cast<std::uint8_t>(Number(key, value, 1, 8));
  } else if (key == "regs") {
    const std::vector<std::string_view> values = Split(value, ':');
    if (values.size() > kRegisterCount) Fail("regs: at most 7 values (registers 0..6)");
    for (std::size_t r = 0; r < values.size(); ++r)
      if (!values[r].empty())
        spec.registers[r] = static_cast<std::uint16_t>(Number("regs", values[r], 0, 65535));
  } else if (key == "turnaround") {
    spec.extraTurnaround = Millis(key, value);
  } else if (key == "move-delay") {
    spec.moveDelay = Millis(key, value);
  } else if (key == "lose-reply") {
    f.loseReply = true;
  } else if (key == "silent") {
    f.silent = true;
  } else if (key == "corrupt") {
    f.corruptByte = Number(key, value, 0, 65535);
  } else if (key == "exception") {
    f.exceptionCode = static_cast<std::uint8_t>(Number(key, value, 1, 255));
  } else if (key == "late") {
    f.late = Millis(key, value);
  } else if (key == "split") {
    const std::size_t at = value.find('@');
    if (at == std::string_view::npos) Fail("split: expected GAP_MS@POS[:POS...], e.g. 20@3:10");
    f.splitGap = Millis("split", value.substr(0, at));
    f.splitBefore.clear();
    for (std::string_view position : Split(value.substr(at + 1), ':'))
      f.splitBefore.push_back(Number("split position", position, 0, 65535));
  } else if (key == "extra") {
    f.extraBytes = HexBytes(key, value);
  } else if (key == "reply") {
    f.reply = HexBytes(key, value);
    if (f.reply.empty()) Fail("reply: expected the bytes of a frame without its CRC");
  } else if (key == "garbage" || key == "garbage-instead") {
    f.garbageBytes = Number(key, value, 1, 1U << 20);
    f.garbage = key == "garbage" ? TGarbage::kBefore : TGarbage::kInstead;
  } else if (key == "hangup") {
    f.hangUp = true;
  } else if (key == "count") {
    f.count = Number(key, value, 0, std::numeric_limits<int>::max());
  }
}

using TKeyValues = std::vector<std::pair<std::string_view, std::string_view>>;

TKeyValues ParseDeviceSpec(std::string_view spec) {
  TKeyValues entries;
  if (spec.empty()) Fail("--device: expected KEY=VALUE,..., e.g. addr=5,id=14,baud=4");
  for (std::string_view entry : Split(spec, ',')) {
    const std::size_t at = entry.find('=');
    const std::string_view key = entry.substr(0, at);
    if (!IsDeviceKey(key)) Fail("--device: unknown key '" + std::string(key) + "'");
    if (IsFlag(key) && at != std::string_view::npos)
      Fail("--device: " + std::string(key) + " takes no value");
    if (!IsFlag(key) && at == std::string_view::npos)
      Fail("--device: " + std::string(key) + " needs a value (" + std::string(key) + "=...)");
    entries.emplace_back(key, at == std::string_view::npos ? "" : entry.substr(at + 1));
  }
  return entries;
}

}  // namespace

TSimOptions ParseSimOptions(std::span<const std::string_view> args) {
  TSimOptions options;
  TDeviceSpec defaults;
  std::vector<TKeyValues> devices;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "-h") arg = "--help";
    if (arg == "-v") arg = "--verbose";
    if (arg == "-a") arg = "--address";
    if (!arg.starts_with("--") || arg.size() == 2)
      Fail("unexpected argument '" + std::string(arg) + "'");
    arg.remove_prefix(2);
    const std::size_t equals = arg.find('=');
    const std::string_view key = arg.substr(0, equals);
    std::optional<std::string_view> value;
    if (equals != std::string_view::npos) value = arg.substr(equals + 1);
    const bool flag = key == "help" || key == "verbose" || key == "echo" || IsFlag(key);
    if (!flag && !IsDeviceKey(key) && key != "link" && key != "replug-after" &&
        key != "frame-silence" && key != "device" && key != "poll" && key != "poll-pause" &&
        key != "usb-latency")
      Fail("unknown option '--" + std::string(key) + "'");
    if (flag && value) Fail("--" + std::string(key) + " takes no value");
    if (!flag && !value) {
      if (i + 1 >= args.size()) Fail("--" + std::string(key) + " needs a value");
      value = args[++i];
    }

    if (key == "help") {
      options.help = true;
    } else if (key == "verbose") {
      options.verbose = true;
    } else if (key == "echo") {
      options.echo = true;
    } else if (key == "link") {
      if (value->empty()) Fail("--link needs a path");
      options.linkPath = std::string(*value);
    } else if (key == "replug-after") {
      options.replugAfter = Millis(key, *value);
    } else if (key == "frame-silence") {
      options.frameSilence = Millis(key, *value);
    } else if (key == "usb-latency") {
      options.usbLatency = Millis(key, *value);
      if (options.usbLatency->count() < 1 || options.usbLatency->count() > 255)
        Fail("--usb-latency: expected 1..255 ms");
    } else if (key == "poll") {
      for (std::string_view address : Split(*value, ','))
        options.pollAddresses.push_back(static_cast<std::uint8_t>(Number("poll", address, 1, 247)));
    } else if (key == "poll-pause") {
      options.pollPause = Millis(key, *value);
    } else if (key == "device") {
      devices.push_back(ParseDeviceSpec(*value));
    } else {
      ApplyDeviceKey(defaults, key, value.value_or(""));
    }
  }
  if (devices.empty()) {
    options.devices.push_back(defaults);
  } else {
    for (const TKeyValues& entries : devices) {
      TDeviceSpec spec = defaults;
      for (const auto& [key, value] : entries)
        ApplyDeviceKey(spec, key, value);
      options.devices.push_back(std::move(spec));
    }
  }
  return options;
}

std::string SimUsage() {
  return R"(Usage: tarvi-sim [OPTION]...
A virtual signalling device (or several on one line) speaking Modbus RTU on a pseudo-terminal.
Once ready it prints one line on stdout: the slave path, then the link when --link is given.
SIGINT or SIGTERM ends it (removing the link); SIGUSR1 pulls the adapter out, SIGUSR2 plugs a
new one in.

Line:
  --link PATH          publish the slave as a symbolic link PATH (its folder is created)
  --replug-after MS    after each hang-up, plug a new pty in under the same link after MS ms
  --frame-silence MS   a request ends after at least MS ms of silence (default: 3.5 characters),
                       for a master whose bytes reach the line with gaps (an emulated UART)
  --poll A[,A...]      a second master on the line (a control panel) reads the parameter
                       block of each address in turn, for ever: the program on the pty then
                       only listens (tarvi-cli monitor)
  --poll-pause MS      its silence after each reply or time-out (default 100)
  --echo               the adapter echoes the request: every byte the master sends comes back
                       to it once it has crossed the line (a two-wire RS-485 adapter that hears
                       itself; tarvi-cli --echo drops that copy)
  --usb-latency MS     the adapter is a USB one with a latency timer of MS ms (1..255; an FTDI
                       chip's default is 16): the bytes reach the pty in pieces, at the
                       timer's ticks, each having crossed the line at the rate first
  --device SPEC        put a device on the line (repeatable); SPEC is KEY=VALUE pairs separated
                       by commas, with the device keys below, e.g. addr=5,id=15,baud=6,late=200
  -v, --verbose        print every request and reply in hex with times, on stderr
  -h, --help           print this help

Device keys, as options (--KEY VALUE, --KEY=VALUE) they set every device; without --device they
describe the only one. Defaults: address 247, id 14, baud code 4 (9600), registers 3..6 = 0 0 2 0.
  -a, --address N      bus address 1..247 (248..255 allowed); key addr= or address=
  --id N               register 0, the device id: 14, 15 for the family, anything else 0..65535
  --baud CODE          register 2, the line rate: 1..8 = 1200 2400 4800 9600 14400 19200 38400 57600
  --regs V0:V1:..:V6   raw register values from register 0; an empty field keeps the default
                       (e.g. ':::2' sets register 3); registers 1 and 2 then no longer mirror
                       the address and rate the device works at
  --turnaround MS      extra delay before every reply
  --move-delay MS      take a new address or rate MS ms after the echo has gone out (a device
                       that restarts its UART), not at once

Fault switches (device keys too):
  --silent             never answer (requests are still heard)
  --corrupt POS        flip every bit of reply byte POS (a CRC error)
  --exception CODE     answer every request with exception CODE (1..255)
  --late MS            start each reply MS ms late
  --split MS@P[:P..]   pause MS ms before byte P of each reply (several positions allowed)
  --extra HEX          send these bytes after each reply (e.g. 00:FF)
  --reply HEX          answer with these bytes and their CRC instead (e.g. F7:83:02)
  --garbage N          send N random bytes before each reply
  --garbage-instead N  send N random bytes instead of each reply
  --hangup             pull the adapter out when a request for the device arrives
  --lose-reply         act on each request but lose its reply on the line (with --count 1: an
                       address or rate write taken whose echo never arrives)
  --count N            the fault switches hold for the next N requests only (0: always)

Exit status: 0 after SIGINT/SIGTERM, 1 if the pty cannot be made, 2 for a bad command line.
)";
}

}  // namespace sim
