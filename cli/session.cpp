#include "cli/session.h"

#include <iostream>

#include "bus/device_requests.h"
#include "bus/messages.h"
#include "cli/platform.h"
#include "network/network_port_name.h"
#include "serial/com_exception.h"

TSession::TSession(TCommon common) : common_(std::move(common)), lines_(LineSettings()) {}

TLineSetup TSession::LineSettings() {
  TLineSetup settings;
  if (common_.trace) {
    settings.trace = [this](const std::string& text) {
      if (BeforeOutput) BeforeOutput();
      std::cerr << text << '\n' << std::flush;
    };
  }
  settings.gap = common_.gap;
  settings.echo = common_.echo;
  settings.rs485 = common_.rs485;
  settings.facts = {PortAdapterLatency, PortDriverName};
  settings.warning = [this](const std::string& text) { Warn(text); };
  return settings;
}

TSession::~TSession() = default;

TDeviceLine& TSession::Line(const std::string& port, std::uint8_t baudIndex) {
  return lines_.Line(port, baudIndex);
}

void TSession::Say(const std::string& line) const {
  if (common_.json || common_.quiet) return;
  if (BeforeOutput) BeforeOutput();
  std::cout << line << '\n' << std::flush;
}

void TSession::Emit(const std::string& json) const {
  if (!common_.json) return;
  if (BeforeOutput) BeforeOutput();
  std::cout << json << '\n' << std::flush;
}

void TSession::Warn(const std::string& line) const {
  if (common_.quiet) return;
  if (BeforeOutput) BeforeOutput();
  std::cerr << line << '\n' << std::flush;
}

TJsonWriter& TSession::BeginDocument() {
  document_ = TJsonWriter();
  document_.BeginObject();
  documentOpen_ = true;
  return document_;
}

void TSession::EmitDocument() {
  document_.CloseTo(0);
  documentOpen_ = false;
  Emit(document_.Text());
}

void TSession::EmitDocumentWithError(const char* kind, const std::string& message) {
  document_.CloseTo(1).Key("error");
  WriteErrorJson(document_, kind, message);
  EmitDocument();
}

void WriteErrorJson(TJsonWriter& json, const char* kind, const std::string& message) {
  json.BeginObject().Member("kind", kind).Member("message", message).EndObject();
}

void Complain(const std::string& message) {
  std::cerr << kProgramName << ": " << message << '\n' << std::flush;
}

void ReportFailure(const TCommon& common, const char* kind, const std::string& message) {
  Complain(message);
  if (!common.json) return;
  TJsonWriter json;
  json.BeginObject().Key("error");
  WriteErrorJson(json, kind, message);
  std::cout << json.EndObject().Text() << '\n' << std::flush;
}

std::string PortFailureText(const std::string& port, const std::exception& failure, int code) {
  std::string text = Format("%s: %s", port.c_str(), failure.what());
  const std::string advice =
      IsNetworkPortName(port) ? NetworkFailureAdvice(code) : PortFailureAdvice(code);
  if (!advice.empty()) text += "\n  " + advice;
  return text;
}

TExitStatus RunReporting(const TCommon& common, const std::function<TExitStatus(TSession&)>& body) {
  TSession session(common);
  const auto report = [&](const char* kind, const std::string& message) {
    session.BeforeOutput = nullptr;  // it belongs to the body, which has ended
    if (session.DocumentOpen()) {
      Complain(message);
      session.EmitDocumentWithError(kind, message);
    } else {
      ReportFailure(common, kind, message);
    }
  };
  try {
    const TExitStatus status = body(session);
    session.BeforeOutput = nullptr;
    return status;
  } catch (const TDeviceFault& fault) {
    report(FaultKindName(fault.Kind), fault.what());
    return TExitStatus::DeviceFailed;
  } catch (const EComPort& failure) {
    report("port", PortFailureText(common.port, failure, failure.SystemErrorCode));
    return TExitStatus::PortFailed;
  } catch (const EUsage& usage) {
    report("usage", usage.what());
    return TExitStatus::Usage;
  }
}
