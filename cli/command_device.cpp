// read, on, off and set: one device at one address.
#include "bus/device_requests.h"
#include "bus/messages.h"
#include "bus/settings_writer.h"
#include "cli/block_text.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/session.h"
#include "cli/setting_options.h"
#include "protocol/baud_rates.h"
#include "protocol/registers.h"

const char kReadUsage[] = N_(R"(Usage: tarvi-cli read -p PORT -a ADDRESS [-r RATE] [OPTION]...
Reads the parameter block of the device at ADDRESS and shows it decoded: the model, the address
and rate it holds, the mode it is in, its power-up mode, its mode on the "on" command and the
remember flag.

  -p, --port PORT      the serial port ({port-forms}),
                       or a gateway: rfc2217://HOST:PORT, tcp://HOST:PORT
  -a, --address N      the device's bus address, 1..247
  -r, --rate RATE      the line rate in Bd (default 9600)
      --timeout MS     wait this long for the reply to begin (default by rate: 350 ms at
                       9600 Bd and above, 700, 1500, 3000 ms at 4800, 2400, 1200 Bd)
      --gap MS         the silence that ends bytes that cannot become the reply (default: the
                       adapter's latency timer and 10 ms, or 42 ms; replies are read to length)
      --echo           the adapter echoes each request (a two-wire RS-485 adapter that hears
                       itself): drop that copy before reading the reply
      --rs485          RTS on while sending and off after, by the driver (a UART whose RS-485
                       transceiver needs RTS to switch; refused with status 3 where the driver
                       cannot)
      --json           one JSON document on standard output
      --trace          every request and reply on standard error
  -q, --quiet          no output on success
  -h, --help           this help
)");

const char kSwitchUsage[] = N_(R"(Usage: tarvi-cli on|off -p PORT -a ADDRESS [-r RATE] [OPTION]...
Switches the device at ADDRESS on (it runs its mode for the "on" command) or off; the write is
confirmed by the device's echo.

  -p, --port PORT      the serial port
  -a, --address N      the device's bus address, 1..247
  -r, --rate RATE      the line rate in Bd (default 9600)
      --timeout MS     wait this long for the echo to begin (default 350)
      --gap, --echo, --rs485, --json, --trace, -q, -h as for read
)");

const char kSetUsage[] =
    N_(R"(Usage: tarvi-cli set -p PORT -a ADDRESS [-r RATE] SETTING... [OPTION]...
Writes settings into the device at ADDRESS. Each write is confirmed by its echo; the address and
the rate change last, and the result is read back (at the new rate, which proves the device
follows it). A value the device does not know is refused before anything is sent. A device
takes a moment to move: each request after a move waits 20 ms and is asked again for up to a
second. An address or rate write whose echo does not come is looked for once where it sends the
device: found there, the change is made (with a warning that its echo was lost).

Settings:
      --power-up MODE     the mode after power-up: 0 (off) or 2..10
      --on-command MODE   the mode on the "on" command: 0 or 2..10
      --remember yes|no   keep the last command over a loss of power
      --new-address N     a new bus address, 1..247
      --new-rate RATE     a new line rate: 1200 2400 4800 9600 14400 19200 38400 57600

Modes: 0 off, 2 steady light and sound, 3/4/5 light flashing at 2/1/0.5 Hz and sound,
6 steady light, 7/8/9 light flashing at 2/1/0.5 Hz, 10 sound only.

  -p, -a, -r, --timeout, --gap, --echo, --rs485, --json, --trace, -q, -h as for read
)");

namespace {

TTarget TargetOf(const TCommon& common) {
  return {common.address, common.baudIndex, common.timeout, {}};
}

std::string Where(const TCommon& common) {
  return Format(Tr("device %u at %u Bd on %s"), unsigned{common.address},
                unsigned{BaudTable[common.baudIndex]}, common.port.c_str());
}

void WriteWhere(TJsonWriter& json, const TCommon& common) {
  json.Member("port", common.port);
  json.Member("address", unsigned{common.address});
  json.Member("rate", unsigned{BaudTable[common.baudIndex]});
}

TExitStatus RunSwitch(const TInvocation& invocation, bool on) {
  const TCommon& common = invocation.common;
  return RunReporting(common, [&](TSession& session) {
    WriteRegister(session.Line(), TargetOf(common), kRegisterOnOff, on ? 1 : 0);
    session.Say(Format(on ? Tr("%s: switched on") : Tr("%s: switched off"), Where(common).c_str()));
    TJsonWriter json;
    json.BeginObject();
    WriteWhere(json, common);
    json.Member("switched", on ? "on" : "off");
    json.EndObject();
    session.Emit(json.Text());
    return TExitStatus::Done;
  });
}

// set's settings, every value checked before anything is sent. Throws EUsage.
TWantedSettings ReadWanted(const TArguments& arguments) {
  TWantedSettings wanted;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const TSetting& setting = kSettings[i];
    const std::string_view option = kSettingOptions[i].longName;
    const auto text = arguments.Value(option);
    if (!text) continue;
    if (!(wanted.values[i] = setting.parse(*text)))
      throw EUsage(setting.fault("--" + std::string(option), *text));
  }
  if (wanted.Empty())
    throw EUsage(Format(Tr("nothing to set: give %s"), SettingOptionNames().c_str()));
  return wanted;
}

void ReportSet(TSession& session, const TTarget& target, const std::vector<TWrite>& written,
               const std::vector<std::string>& warnings, const TBlockReading& reading) {
  session.Say(Format(Tr("read back from %u at %u Bd:"), unsigned{target.address},
                     unsigned{BaudTable[target.baudIndex]}));
  for (const std::string& line : BlockLines(reading.block))
    session.Say("  " + line);
  TJsonWriter json;
  json.BeginObject();
  WriteWhere(json, session.Options());
  json.Key("writes");
  WriteWritesJson(json, written);
  json.Key("warnings").BeginArray();
  for (const std::string& warning : warnings)
    json.String(warning);
  json.EndArray();
  json.Key("block");
  WriteBlockJson(json, reading.block);
  session.Emit(json.EndObject().Text());
}

}  // namespace

TExitStatus RunRead(const TInvocation& invocation) {
  const TCommon& common = invocation.common;
  return RunReporting(common, [&](TSession& session) {
    const TBlockReading reading = ReadParameterBlock(session.Line(), TargetOf(common));
    for (const std::string& line : BlockLines(reading.block))
      session.Say(line);
    TJsonWriter json;
    json.BeginObject();
    WriteWhere(json, common);
    json.Key("block");
    WriteBlockJson(json, reading.block);
    json.Key("reply_ms").Number(reading.replyTime.count(), 1);
    json.EndObject();
    session.Emit(json.Text());
    return TExitStatus::Done;
  });
}

TExitStatus RunOn(const TInvocation& invocation) {
  return RunSwitch(invocation, true);
}

TExitStatus RunOff(const TInvocation& invocation) {
  return RunSwitch(invocation, false);
}

TExitStatus RunSet(const TInvocation& invocation) {
  const TWantedSettings wanted = ReadWanted(invocation.arguments);
  return RunReporting(invocation.common, [&](TSession& session) {
    TTarget target = TargetOf(session.Options());
    std::vector<TWrite> written;
    std::vector<std::string> warnings;
    const TBlockReading reading = CarryOut(
        session.Line(), target, PlanWrites(wanted, nullptr), wanted,
        [&](const TWrite& write) {
          session.Say(Format(Tr("%s: written"), WriteText(write).c_str()));
          written.push_back(write);
        },
        [&](const std::string& warning) {
          session.Warn(Tr("warning: ") + warning);
          warnings.push_back(warning);
        });
    ReportSet(session, target, written, warnings, reading);
    return TExitStatus::Done;
  });
}
