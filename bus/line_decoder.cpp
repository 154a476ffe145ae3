#include "bus/line_decoder.h"

#include <algorithm>

#include "bus/messages.h"
#include "bus/settings.h"
#include "bus/values.h"
#include "protocol/baud_rates.h"
#include "protocol/device_models.h"
#include "protocol/frame.h"
#include "protocol/parameter_block.h"
#include "protocol/registers.h"
#include "protocol/reply_timing.h"
#include "protocol/traffic_lines.h"

namespace {

using Clock = std::chrono::steady_clock;

unsigned Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return (unsigned{bytes[at]} << 8) | bytes[at + 1];
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text = HexCells(bytes.data(), bytes.size());
  if (!text.empty()) text.pop_back();
  return text;
}

double Ms(Clock::duration span) {
  return std::chrono::duration<double, std::milli>(span).count();
}

std::string AddressText(unsigned address) {
  return address == 0 ? std::string(Tr("all (broadcast)")) : std::to_string(address);
}

// The standard meanings of the exception codes.
const char* ExceptionName(unsigned code) {
  switch (code) {
    case 1:
      return N_("illegal function");
    case 2:
      return N_("illegal data address");
    case 3:
      return N_("illegal data value");
    case 4:
      return N_("device failure");
    case 5:
      return N_("acknowledged, busy with it");
    case 6:
      return N_("device busy");
    default:
      return N_("not a standard code");
  }
}

bool IsRead(const std::vector<std::uint8_t>& frame) {
  return frame.size() == 8 && frame[1] == kFunctionReadRegisters;
}

bool IsWrite(const std::vector<std::uint8_t>& frame) {
  return frame.size() == 8 && frame[1] == kFunctionWriteRegister;
}

// A frame of the family's requests: a read or a write of 8 bytes. A read's reply of 8 bytes (a
// byte count of 3) does not hold the registers of the family and is not taken for one.
bool IsRequest(const std::vector<std::uint8_t>& frame) {
  return IsWrite(frame) || (IsRead(frame) && frame[2] != 3);
}

// A frame shaped as a reply of the family: an exception, a read's reply with its byte count, a
// write's echo.
bool IsReplyShape(const std::vector<std::uint8_t>& frame) {
  if (frame.size() < 5) return false;
  if ((frame[1] & kExceptionBit) != 0) return frame.size() == 5;
  if (frame[1] == kFunctionReadRegisters) return frame.size() == 5u + frame[2];
  return IsWrite(frame);
}

std::string RegisterName(unsigned reg) {
  switch (reg) {
    case kRegisterId:
      return Tr("id");
    case kRegisterAddress:
      return Tr("address");
    case kRegisterBaudCode:
      return Tr("baud code");
    case kRegisterOnOff:
      return Tr("mode");
    case kRegisterPowerUpMode:
      return Tr("power-up mode");
    case kRegisterOnCommandMode:
      return Tr("on-command mode");
    case kRegisterRemember:
      return Tr("remember");
    default:
      return Format(Tr("register %u"), reg);
  }
}

std::string ReadText(unsigned first, unsigned count) {
  if (first == kRegisterId && count == kParameterBlockRegisters) return Tr("read parameters");
  if (count == 1) return Format(Tr("read %s"), RegisterName(first).c_str());
  return Format(Tr("read registers %u..%u"), first, first + count - 1);
}

std::string WriteText(unsigned reg, unsigned value) {
  if (reg == kRegisterOnOff) {
    if (value == 1) return Tr("switch on");
    if (value == 0) return Tr("switch off");
  }
  for (const TSetting& setting : kSettings)
    if (setting.reg == static_cast<int>(reg))
      return Format(Tr("write %s"), setting.text(value).c_str());
  return Format(Tr("write %s = %u"), RegisterName(reg).c_str(), value);
}

std::string BlockText(const std::vector<std::uint8_t>& reply) {
  switch (CheckParameterBlock(reply.data(), reply.size())) {
    case TBlockCheck::BadId:
      return Format(Tr("id %u: not of the family"), ReplyRegister(reply.data(), kRegisterId));
    case TBlockCheck::BadLength:
      return Format(Tr("a parameter block of %zu bytes (byte count %u)"), reply.size(),
                    unsigned{reply[2]});
    case TBlockCheck::Ok:
      break;
  }
  const TParameterBlock block = DecodeParameterBlock(reply.data());
  return Format(Tr("%s: mode %s, power-up %u, on-command %u, remember %s"), ModelName(block.id),
                ModeText(block.mode).c_str(), block.powerUp, block.onCommand,
                block.remember != 0 ? Tr("yes") : Tr("no"));
}

// What a reply says about its request.
std::string ReplyText(const std::vector<std::uint8_t>& request,
                      const std::vector<std::uint8_t>& reply) {
  if ((reply[1] & kExceptionBit) != 0)
    return Format(Tr("exception %u (%s)"), unsigned{reply[2]}, Tr(ExceptionName(reply[2])));
  if (reply[1] == kFunctionWriteRegister) {
    if (std::equal(reply.begin(), reply.begin() + 6, request.begin())) return Tr("confirmed");
    return Format(Tr("the echo %s does not repeat the request"), Hex(reply).c_str());
  }
  const unsigned first = Word(request, 2);
  const unsigned count = Word(request, 4);
  if (reply[2] != 2 * count)
    return Format(Tr("byte count %u for %u registers"), unsigned{reply[2]}, count);
  if (first == kRegisterId && count == kParameterBlockRegisters) return BlockText(reply);
  if (first == kRegisterId && count == 1) {
    const unsigned id = ReplyRegister(reply.data(), 0);
    if (const char* model = ModelName(id)) return Format("%s (id %u)", model, id);
    return Format(Tr("id %u: not of the family"), id);
  }
  std::string values;
  for (unsigned k = 0; k < count; ++k)
    values += (k == 0 ? "" : ", ") + std::to_string(Word(reply, 3 + 2 * k));
  return values;
}

}  // namespace

const char* EventKindName(TLineEvent::TKind kind) {
  switch (kind) {
    case TLineEvent::TKind::Request:
      return "request";
    case TLineEvent::TKind::Reply:
      return "reply";
    case TLineEvent::TKind::Exception:
      return "exception";
    case TLineEvent::TKind::NoAnswer:
      return "no_answer";
    case TLineEvent::TKind::Garbled:
      return "garbled";
    case TLineEvent::TKind::Unsolicited:
      return "unsolicited";
    case TLineEvent::TKind::Other:
      return "other";
  }
  return "other";
}

std::string RequestText(const std::vector<std::uint8_t>& request) {
  const std::string who = AddressText(request[0]);
  if (IsRead(request)) return who + " " + ReadText(Word(request, 2), Word(request, 4));
  return who + " " + WriteText(Word(request, 2), Word(request, 4));
}

TLineDecoder::TLineDecoder(std::uint8_t baudIndex) : baudIndex_(baudIndex) {}

void TLineDecoder::Expire(Clock::time_point now, std::vector<TLineEvent>& events, bool wentOn) {
  if (!pending_ || (!wentOn && now < pending_->deadline)) return;
  TLineEvent event;
  event.kind = TLineEvent::TKind::NoAnswer;
  event.at = wentOn ? now : pending_->deadline;
  event.address = pending_->bytes[0];
  event.function = pending_->bytes[1];
  event.waitedMs = Ms(event.at - pending_->endAt);
  event.text = wentOn ? Format(Tr("%s -> no answer: the next request came %.0f ms after it"),
                               RequestText(pending_->bytes).c_str(), *event.waitedMs)
                      : Format(Tr("%s -> no answer within %.0f ms"),
                               RequestText(pending_->bytes).c_str(), *event.waitedMs);
  ++tally_.addresses[pending_->bytes[0]].noAnswers;
  pending_.reset();
  events.push_back(std::move(event));
}

std::vector<TLineEvent> TLineDecoder::Idle(Clock::time_point now) {
  std::vector<TLineEvent> events;
  Expire(now, events);
  return events;
}

std::optional<Clock::time_point> TLineDecoder::NextTimeout() const {
  if (!pending_) return std::nullopt;
  return pending_->deadline;
}

void TLineDecoder::Finish() {
  if (pending_) ++tally_.open;
  pending_.reset();
}

std::vector<TLineEvent> TLineDecoder::Take(const TLineFrame& frame) {
  std::vector<TLineEvent> events;
  Expire(frame.firstAt, events);
  ++tally_.frames;
  TLineEvent event;
  event.at = frame.firstAt;
  event.bytes = frame.bytes;
  event.crcOk = frame.crcOk;
  event.tooCloseMs = frame.tooCloseMs;
  if (frame.tooCloseMs) ++tally_.tooClose;
  const std::vector<std::uint8_t>& bytes = frame.bytes;

  if (!frame.crcOk) {
    ++tally_.garbled;
    event.kind = TLineEvent::TKind::Garbled;
    if (pending_) {
      // Something answered the request, but the reply did not come through whole.
      event.address = pending_->bytes[0];
      ++tally_.addresses[pending_->bytes[0]].crcErrors;
      event.text = Format(Tr("%s -> garbled reply (CRC error): %s"),
                          RequestText(pending_->bytes).c_str(), Hex(bytes).c_str());
      pending_.reset();
    } else {
      event.text = Format(Tr("garbled (CRC error): %s"), Hex(bytes).c_str());
    }
    events.push_back(std::move(event));
    return events;
  }

  event.address = bytes[0];
  event.function = bytes[1];
  const bool pairs =
      pending_ && bytes[0] == pending_->bytes[0] &&
      (bytes[1] == pending_->bytes[1] || bytes[1] == (pending_->bytes[1] | kExceptionBit)) &&
      IsReplyShape(bytes);
  if (pairs) {
    TAddressTally& tally = tally_.addresses[bytes[0]];
    const bool exception = (bytes[1] & kExceptionBit) != 0;
    event.kind = exception ? TLineEvent::TKind::Exception : TLineEvent::TKind::Reply;
    // A listener held up for a moment gets the request's end and the reply in one read; the
    // reply still took its own time on the line.
    const double lineMs = 10'000.0 * static_cast<double>(bytes.size()) / BaudTable[baudIndex_];
    event.replyMs = std::max(lineMs, Ms(frame.lastAt - pending_->endAt));
    ++tally.answers;
    if (exception) ++tally.exceptions;
    tally.replyMs.push_back(*event.replyMs);
    event.text = Format("%s -> %s", RequestText(pending_->bytes).c_str(),
                        ReplyText(pending_->bytes, bytes).c_str());
    pending_.reset();
  } else if (IsRequest(bytes)) {
    // The master went on before the time-out: the request before got no answer.
    Expire(frame.firstAt, events, /*wentOn=*/true);
    event.kind = TLineEvent::TKind::Request;
    event.text = RequestText(bytes);
    if (bytes[0] != 0) {  // nobody answers a broadcast
      ++tally_.addresses[bytes[0]].requests;
      const std::uint32_t wait = bytes[1] == kFunctionReadRegisters ? ReadReplyTimeoutMs(baudIndex_)
                                                                    : kWriteReplyTimeoutMs;
      pending_ = TPending{bytes, frame.lastAt, frame.lastAt + std::chrono::milliseconds(wait)};
    }
  } else if (IsReplyShape(bytes)) {
    ++tally_.unsolicited;
    event.kind = TLineEvent::TKind::Unsolicited;
    event.text = Format(Tr("%s reply without a request: %s"), AddressText(bytes[0]).c_str(),
                        Hex(bytes).c_str());
  } else {
    ++tally_.other;
    event.kind = TLineEvent::TKind::Other;
    event.text = Format(Tr("%s function %u, not of this family: %s"), AddressText(bytes[0]).c_str(),
                        unsigned{bytes[1]}, Hex(bytes).c_str());
  }
  events.push_back(std::move(event));
  return events;
}
