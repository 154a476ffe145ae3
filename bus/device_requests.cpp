#include "bus/device_requests.h"

#include <algorithm>
#include <thread>

#include "bus/messages.h"
#include "protocol/baud_rates.h"
#include "protocol/frame.h"
#include "protocol/registers.h"
#include "protocol/reply_timing.h"
#include "protocol/traffic_lines.h"

namespace {

unsigned Rate(const TTarget& target) {
  return BaudTable[target.baudIndex];
}

// "05 03 0E": the bytes of a reply in a message.
std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text = HexCells(bytes.data(), bytes.size());
  if (!text.empty()) text.pop_back();
  return text;
}

TDeviceFault EchoFault(unsigned address, unsigned rate, std::vector<std::uint8_t> bytes) {
  return TDeviceFault(TFaultKind::Echo,
                      Format(Tr("the adapter echoes the request: try --echo (the reply from %u at "
                                "%u Bd begins with the request's own bytes)"),
                             address, rate),
                      std::move(bytes));
}

// Sends a request and returns a reply that passed the CRC check and is no exception; every other
// outcome is a TDeviceFault.
std::vector<std::uint8_t> AskOnce(TDeviceLine& line, const TTarget& target,
                                  const TRequestFrame& request, int expectedLength,
                                  std::chrono::milliseconds wait) {
  const TReply reply = line.Exchange(request, expectedLength, wait);
  const unsigned address = target.address;
  if (reply.bytes.empty()) {
    throw TDeviceFault(TFaultKind::NoAnswer,
                       Format(Tr("no answer from %u at %u Bd within %lld ms"), address,
                              Rate(target), static_cast<long long>(wait.count())));
  }
  if (!line.Echo() && BeginsWithRequest(reply.bytes, request))
    throw EchoFault(address, Rate(target), reply.bytes);
  if (!FrameCrcValid(reply.bytes.data(), reply.bytes.size())) {
    throw TDeviceFault(TFaultKind::CrcError,
                       Format(Tr("CRC error in the reply from %u at %u Bd: %s"), address,
                              Rate(target), Hex(reply.bytes).c_str()),
                       reply.bytes);
  }
  if (reply.bytes.size() >= static_cast<std::size_t>(kExceptionReplyLength) &&
      reply.bytes[1] == (request[1] | kExceptionBit)) {
    throw TDeviceFault(TFaultKind::Exception,
                       Format(Tr("device %u at %u Bd refused the request: exception code %u"),
                              address, Rate(target), unsigned{reply.bytes[2]}),
                       reply.bytes);
  }
  const auto wrong = [&](const std::string& why) {
    return TDeviceFault(
        TFaultKind::WrongReply,
        Format(Tr("wrong reply from %u at %u Bd: %s"), address, Rate(target), why.c_str()),
        reply.bytes);
  };
  if (reply.bytes.size() < 3) throw wrong(Hex(reply.bytes));
  if (reply.bytes[0] != request[0])
    throw wrong(Format(Tr("it came from address %u"), unsigned{reply.bytes[0]}));
  if (reply.bytes[1] != request[1])
    throw wrong(
        Format(Tr("function %u instead of %u"), unsigned{reply.bytes[1]}, unsigned{request[1]}));
  return reply.bytes;
}

using Clock = std::chrono::steady_clock;

long long MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// AskOnce, with the patience a device that has just moved needs (TTarget::movedAt); the trace
// says what was waited for.
std::vector<std::uint8_t> Ask(TDeviceLine& line, const TTarget& target,
                              const TRequestFrame& request, int expectedLength,
                              std::chrono::milliseconds wait) {
  if (!target.movedAt || Clock::now() >= *target.movedAt + kMoveWindow)
    return AskOnce(line, target, request, expectedLength, wait);
  const Clock::time_point moved = *target.movedAt;
  if (const Clock::time_point settled = moved + kMoveSettle; Clock::now() < settled) {
    line.Note(Format(Tr("waiting %lld ms for the device to settle after the move"),
                     MsBetween(Clock::now(), settled)));
    std::this_thread::sleep_until(settled);
  }
  for (int attempt = 1;; ++attempt) {
    try {
      return AskOnce(line, target, request, expectedLength, wait);
    } catch (const TDeviceFault& fault) {
      const Clock::time_point now = Clock::now();
      if (fault.Kind != TFaultKind::NoAnswer) throw;
      if (attempt >= 2 && now >= moved + kMoveWindow) {
        throw TDeviceFault(TFaultKind::NoAnswer,
                           Format(Tr("%s (asked %d times in the %lld ms after the move)"),
                                  fault.what(), attempt, MsBetween(moved, now)));
      }
      line.Note(Format(Tr("no answer yet %lld ms after the move: the device may still be "
                          "moving; asking again"),
                       MsBetween(moved, now)));
    }
  }
}

std::chrono::milliseconds ReadWait(const TTarget& target) {
  return target.timeout.value_or(std::chrono::milliseconds(ReadReplyTimeoutMs(target.baudIndex)));
}

}  // namespace

const char* FaultKindName(TFaultKind kind) {
  switch (kind) {
    case TFaultKind::NoAnswer:
      return "no_answer";
    case TFaultKind::CrcError:
      return "crc_error";
    case TFaultKind::Exception:
      return "exception";
    case TFaultKind::WrongReply:
      return "wrong_reply";
    case TFaultKind::NotOfFamily:
      return "not_of_family";
    case TFaultKind::Echo:
      return "echo";
  }
  return "unknown";
}

TBlockReading ReadParameterBlock(TDeviceLine& line, const TTarget& target) {
  const TRequestFrame request = MakeRequestFrame(target.address, kFunctionReadRegisters,
                                                 kRegisterId, kParameterBlockRegisters);
  const std::chrono::milliseconds wait = ReadWait(target);
  const std::vector<std::uint8_t> reply =
      Ask(line, target, request, ReadReplyLength(kParameterBlockRegisters), wait);
  // From the write to the reply's last byte: not the wait for a quiet line before the request.
  const std::chrono::duration<double, std::milli> took = line.LastReplyTime();
  switch (CheckParameterBlock(reply.data(), reply.size())) {
    case TBlockCheck::BadId:
      throw TDeviceFault(
          TFaultKind::NotOfFamily,
          Format(Tr("device %u at %u Bd is not of the family (id %u)"), unsigned{target.address},
                 Rate(target), ReplyRegister(reply.data(), kRegisterId)),
          reply);
    case TBlockCheck::BadLength:
      throw TDeviceFault(
          TFaultKind::WrongReply,
          Format(Tr("wrong reply from %u at %u Bd: %s"), unsigned{target.address}, Rate(target),
                 Format(Tr("a parameter block of %zu bytes (byte count %u)"), reply.size(),
                        unsigned{reply[2]})
                     .c_str()),
          reply);
    case TBlockCheck::Ok:
      break;
  }
  return {DecodeParameterBlock(reply.data()), took};
}

void WriteRegister(TDeviceLine& line, const TTarget& target, std::uint16_t reg,
                   std::uint16_t value) {
  const TRequestFrame request =
      MakeRequestFrame(target.address, kFunctionWriteRegister, reg, value);
  const std::chrono::milliseconds wait =
      target.timeout.value_or(std::chrono::milliseconds(kWriteReplyTimeoutMs));
  const std::vector<std::uint8_t> echo = Ask(line, target, request, kWriteEchoLength, wait);
  // A short echo that passes the CRC check is no confirmation.
  if (echo.size() != static_cast<std::size_t>(kWriteEchoLength) ||
      !std::equal(echo.begin(), echo.begin() + 6, request.begin())) {
    throw TDeviceFault(
        TFaultKind::WrongReply,
        Format(Tr("wrong reply from %u at %u Bd: %s"), unsigned{target.address}, Rate(target),
               Format(Tr("the echo %s does not repeat the request"), Hex(echo).c_str()).c_str()),
        echo);
  }
}

TProbeResult Probe(TDeviceLine& line, std::uint8_t address, std::chrono::milliseconds wait) {
  const TRequestFrame request = MakeRequestFrame(address, kFunctionReadRegisters, kRegisterId, 1);
  const TReply reply = line.Exchange(request, ReadReplyLength(1), wait);
  TProbeResult result;
  result.bytes = reply.bytes;
  if (reply.bytes.empty()) return result;
  if (!line.Echo() && BeginsWithRequest(reply.bytes, request))
    throw EchoFault(address, BaudTable[line.Rate()], reply.bytes);
  if (!FrameCrcValid(reply.bytes.data(), reply.bytes.size()) || reply.bytes.size() < 3) {
    result.kind = TProbeResult::TKind::Garbled;
    result.address = address;
    return result;
  }
  result.address = reply.bytes[0];
  if ((reply.bytes[1] & kExceptionBit) != 0) {
    result.kind = TProbeResult::TKind::Other;
    result.exceptionCode = reply.bytes[2];
    return result;
  }
  // A reply too short to hold a register names no device.
  if (reply.bytes[1] != kFunctionReadRegisters ||
      reply.bytes.size() < static_cast<std::size_t>(kShortestRegisterReply)) {
    result.kind = TProbeResult::TKind::Other;
    return result;
  }
  result.id = ReplyRegister(reply.bytes.data(), kRegisterId);
  result.kind = result.id == kIdTarviA || result.id == kIdTarviZA ? TProbeResult::TKind::Family
                                                                  : TProbeResult::TKind::Other;
  return result;
}

bool BeginsWithRequest(const std::vector<std::uint8_t>& reply, const TRequestFrame& request) {
  constexpr std::size_t kLeast = 6;
  const std::size_t compared = std::min(reply.size(), request.size());
  if (compared < kLeast ||
      !std::equal(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(compared),
                  request.begin()))
    return false;
  return request[1] != kFunctionWriteRegister || reply.size() > request.size();
}
