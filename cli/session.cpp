#include "cli/session.h"

#include <iostream>

#include "cli/device_requests.h"
#include "cli/json_writer.h"
#include "cli/messages.h"
#include "cli/platform.h"
#include "serial/com_exception.h"

TSession::TSession(TCommon common) : common_(std::move(common)) {}

TSession::~TSession() = default;

TDeviceLine& TSession::Line(const std::string& port, std::uint8_t baudIndex) {
  auto& line = lines_[port];
  if (!line) {
    TDeviceLine::TTrace trace;
    if (common_.trace) {
      trace = [this](const std::string& text) {
        if (BeforeOutput) BeforeOutput();
        std::cerr << text << '\n' << std::flush;
      };
    }
    auto opened = std::make_unique<TDeviceLine>(port, trace, common_.gap);
    opened->Open(baudIndex);
    line = std::move(opened);
  } else if (line->Rate() != baudIndex) {
    line->SetRate(baudIndex);
  }
  return *line;
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

std::string ErrorJson(const char* kind, const std::string& message) {
  TJsonWriter json;
  json.BeginObject().Key("error").BeginObject();
  json.Member("kind", kind).Member("message", message);
  json.EndObject().EndObject();
  return json.Text();
}

std::string PortFailureText(const std::string& port, const std::exception& failure, int code) {
  std::string text = Format("%s: %s", port.c_str(), failure.what());
  const std::string advice = PortFailureAdvice(code);
  if (!advice.empty()) text += "\n  " + advice;
  return text;
}

int RunReporting(const TCommon& common, const std::function<int()>& body) {
  const auto report = [&](const char* kind, const std::string& message) {
    std::cerr << kProgramName << ": " << message << '\n' << std::flush;
    if (common.json) std::cout << ErrorJson(kind, message) << '\n' << std::flush;
  };
  try {
    return body();
  } catch (const TDeviceFault& fault) {
    report(FaultKindName(fault.Kind), fault.what());
    return 1;
  } catch (const EComPort& failure) {
    report("port", PortFailureText(common.port, failure, failure.SystemErrorCode));
    return 3;
  } catch (const EUsage& usage) {
    report("usage", usage.what());
    return 2;
  }
}
