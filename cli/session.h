// What a subcommand that talks to devices shares: its common options, the lines it has opened
// (each port stays open for the whole command), and where each kind of output goes:
// - results on standard output, as text unless --json (then one JSON document, or one object
//   per line for scan); nothing at all with -q unless --json is given too;
// - --trace, warnings and errors on standard error.
// Main thread only.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "bus/device_line.h"
#include "bus/lines.h"
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/json_writer.h"

class TSession {
 public:
  explicit TSession(TCommon common);
  ~TSession();

  const TCommon& Options() const { return common_; }

  // The line of a port at a rate: opened at its first use, switched to another rate later.
  // Throws EComPort.
  TDeviceLine& Line(const std::string& port, std::uint8_t baudIndex);
  TDeviceLine& Line() { return Line(common_.port, common_.baudIndex); }
  // The lines themselves, for the engine's whole-line work.
  TLines& Lines() { return lines_; }

  // A line of the human output (standard output; not with --json or -q).
  void Say(const std::string& line) const;
  // A JSON document or object line (standard output; only with --json).
  void Emit(const std::string& json) const;
  // A warning on standard error (not with -q).
  void Warn(const std::string& line) const;
  // Called before anything is written to either stream (a progress bar clears itself here).
  std::function<void()> BeforeOutput;

  // The command's one JSON document, begun (its top object open) for a command that builds it
  // as it goes: a failure ends this document with an "error" member instead of writing a second
  // one. EmitDocument closes it and writes it (only with --json).
  TJsonWriter& BeginDocument();
  void EmitDocument();
  // Ends the open document with {"error":{"kind":..,"message":..}} and writes it.
  void EmitDocumentWithError(const char* kind, const std::string& message);
  bool DocumentOpen() const { return documentOpen_; }

 private:
  // How the session's lines are driven: its common options, its trace and warnings.
  TLineSetup LineSettings();

  TCommon common_;
  TLines lines_;
  TJsonWriter document_;
  bool documentOpen_ = false;
};

// The end of every device command: runs `body` with the command's session and turns its
// failures into a message on standard error (and, with --json, an error object on standard
// output, or the "error" member of the document begun) and the exit status: a device fault 1,
// a usage error 2, a port failure 3 with advice on what to do.
TExitStatus RunReporting(const TCommon& common, const std::function<TExitStatus(TSession&)>& body);

// "tarvi-cli: MESSAGE" on standard error, and with --json {"error":{"kind":..,"message":..}} on
// standard output.
void ReportFailure(const TCommon& common, const char* kind, const std::string& message);

// "tarvi-cli: MESSAGE" on standard error.
void Complain(const std::string& message);

// The message of a port failure with the advice for its system error code.
std::string PortFailureText(const std::string& port, const std::exception& failure, int code);

// Writes the error member's value {"kind":..,"message":..}.
void WriteErrorJson(TJsonWriter& json, const char* kind, const std::string& message);

// The program name in front of error messages.
inline constexpr const char* kProgramName = "tarvi-cli";
