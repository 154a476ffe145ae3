#include "bus/device_line.h"

#include <algorithm>
#include <array>
#include <utility>

#include "bus/messages.h"
#include "bus/reply_framing.h"
#include "network/network_port_name.h"
#include "protocol/baud_rates.h"
#include "protocol/reply_timing.h"
#include "protocol/traffic_lines.h"
#include "serial/com_port.h"

namespace {

// The read time-outs of a serial driver that return at the first byte, or after the constant
// when none comes: interval and total multiplier at their maximum (-1).
constexpr std::int32_t kMaximum = -1;

}  // namespace

ERs485Refused::ERs485Refused(const std::string& driver, int systemErrorCode)
    : EComPort(CError_SetStateFailed, systemErrorCode),
      message_(Format(Tr("the driver %s refuses the RS-485 mode (RTS on while sending, off after; "
                         "error code %d): --rs485 is for a UART whose transceiver needs RTS; a "
                         "USB RS-485 adapter switches by itself and needs no --rs485"),
                      driver.c_str(), systemErrorCode)) {}

TDeviceLine::TDeviceLine(std::string portName, TTrace trace,
                         std::optional<std::chrono::milliseconds> gap, bool echo, bool rs485,
                         TPortFacts facts)
    : portName_(std::move(portName)),
      trace_(std::move(trace)),
      port_(std::make_unique<TComPort>()),
      givenGap_(gap),
      gap_(FrameGap(gap, std::nullopt)),
      echo_(echo),
      rs485_(rs485),
      facts_(std::move(facts)) {}

TDeviceLine::~TDeviceLine() {
  try {
    port_->ClosePort();
  } catch (const EComPort&) {
    // The port goes with the program; nothing is left to report to.
  }
}

void TDeviceLine::Open(std::uint8_t baudIndex) {
  baudIndex_ = baudIndex;

  // No events: no monitor thread; every read is the caller's own.
  port_->SetEvents(TComEvents{});
  port_->SetPort(portName_);
  port_->SetBaudRate(ComBaudRate(baudIndex));
  port_->FlowControl().SetFlowControl(fcNone);
  port_->FlowControl().SetControlDTR(dtrDisable);
  TComTimeouts& timeouts = port_->Timeouts();
  timeouts.SetReadInterval(kMaximum);
  timeouts.SetReadTotalMultiplier(kMaximum);
  timeouts.SetReadTotalConstant(static_cast<std::int32_t>(kTakeUpDelayMs));
  port_->OpenPort();
  // Read once open: opening asks the driver for its low latency, which an FTDI adapter takes as
  // a 1 ms timer.
  latency_ = facts_.adapterLatency ? facts_.adapterLatency(portName_) : std::nullopt;
  gap_ = FrameGap(givenGap_, latency_);
  if (!rs485_) return;
  // On the open port, so that a refusal is told apart from a port that cannot be opened.
  try {
    port_->FlowControl().SetControlRTS(rtsToggle);
  } catch (const EComPort& refused) {
    throw ERs485Refused(facts_.driverName ? facts_.driverName(portName_) : Tr("(unknown)"),
                        refused.SystemErrorCode);
  }
}

void TDeviceLine::SetRate(std::uint8_t baudIndex) {
  baudIndex_ = baudIndex;
  port_->SetBaudRate(ComBaudRate(baudIndex));
  if (!RateReachesLine(portName_) && !rateKeptTold_ && OnWarning) {
    rateKeptTold_ = true;
    OnWarning(Format(Tr("%s: the rate does not reach the line through a raw TCP port: the "
                        "gateway's rate applies"),
                     portName_.c_str()));
  }
}

void TDeviceLine::SetReadTimeouts(std::int32_t firstByteWithinMs) {
  TComTimeouts& timeouts = port_->Timeouts();
  timeouts.SetReadInterval(kMaximum);
  timeouts.SetReadTotalMultiplier(kMaximum);
  // Applied at once while open; a value equal to the current one costs nothing.
  timeouts.SetReadTotalConstant(std::max<std::int32_t>(1, firstByteWithinMs));
}

void TDeviceLine::Discard() {
  TComTimeouts& timeouts = port_->Timeouts();
  const bool mayStillSend = mayStillSend_;
  mayStillSend_ = false;
  std::vector<std::uint8_t> dropped;
  std::array<std::uint8_t, 256> chunk{};
  for (;;) {
    if (mayStillSend) {
      // What comes until the earlier reply's own deadline is still that reply's; after it, the
      // line is quiet once a read brings nothing within the gap.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(quietUntil_ - Clock::now());
      SetReadTimeouts(static_cast<std::int32_t>(std::max(gap_, left).count()));
    } else {
      // Interval at its maximum and no totals: a read takes what is there and returns at once.
      timeouts.SetReadTotalMultiplier(0);
      timeouts.SetReadTotalConstant(0);
    }
    const int n = port_->ReadPort(chunk.data(), static_cast<int>(chunk.size()));
    if (n <= 0) break;
    dropped.insert(dropped.end(), chunk.begin(), chunk.begin() + n);
  }
  if (!dropped.empty()) TraceBytes("   : dropped ", dropped);
}

int TDeviceLine::ReadFrame(std::uint8_t* into, int length, std::chrono::milliseconds wait,
                           Clock::time_point deadline, const TJudge& judge) {
  SetReadTimeouts(static_cast<std::int32_t>(wait.count()));
  const int count = port_->ReadPort(into, length);
  if (count <= 0) return 0;
  firstBytesAt_ = Clock::now();
  return ReadOn(into, count, length, deadline, judge);
}

int TDeviceLine::ReadOn(std::uint8_t* into, int count, int length, Clock::time_point deadline,
                        const TJudge& judge) {
  // The frame has begun: a beginning of the awaited frame is read on until the deadline, however
  // the adapter splits it up; a whole frame ends at once; bytes that cannot become the frame end
  // at the gap of silence.
  while (count < length) {
    const TFrameVerdict verdict = judge(count);
    if (verdict == TFrameVerdict::kComplete) break;
    std::chrono::milliseconds within = gap_;
    if (verdict == TFrameVerdict::kNeedsMore)
      within =
          std::max(within, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
    SetReadTimeouts(static_cast<std::int32_t>(within.count()));
    const int more = port_->ReadPort(into + count, length - count);
    if (more <= 0) {
      // The silence is the line's, not ours: when this program was not running while the
      // wait passed, the bytes that came meanwhile are waiting, and the frame goes on.
      if (port_->InputQueueCount() > 0) continue;
      break;
    }
    count += more;
  }
  return count;
}

TReply TDeviceLine::Exchange(const TRequestFrame& request, int expectedLength,
                             std::chrono::milliseconds wait) {
  Discard();
  if (trace_) trace_(RequestLine(request.data()));
  port_->WritePort(request.data(), static_cast<int>(request.size()));
  Clock::time_point written = Clock::now();

  TReply reply;
  reply.bytes.resize(static_cast<std::size_t>(expectedLength));
  const auto judge = [&](int count) {
    return JudgeReply({reply.bytes.data(), static_cast<std::size_t>(count)}, request[1],
                      static_cast<std::size_t>(expectedLength));
  };
  // A reply that has begun may take its line time and the adapter's hand-over beyond the wait
  // for its beginning.
  const auto deadlineAfter = [&](Clock::time_point from, std::size_t bytes) {
    return from + wait + LineTime(bytes) + gap_;
  };
  int count = 0;
  bool waitForReply = true;
  if (echo_) {
    std::array<std::uint8_t, kRequestLength> copy{};
    const auto judgeCopy = [&](int heard) {
      return JudgeEcho({copy.data(), static_cast<std::size_t>(heard)}, request);
    };
    const int heard = ReadFrame(copy.data(), static_cast<int>(copy.size()), wait,
                                deadlineAfter(written, copy.size()), judgeCopy);
    if (heard == static_cast<int>(copy.size()) && judgeCopy(heard) == TFrameVerdict::kComplete) {
      TraceBytes("   : echo ", {copy.begin(), copy.end()});
      // The request has left the line: the device's turnaround starts now.
      written = Clock::now();
    } else {
      // No copy of the request: what came is the reply's beginning (or nothing came at all).
      waitForReply = false;
      count = std::min(heard, expectedLength);
      std::copy_n(copy.begin(), static_cast<std::size_t>(count), reply.bytes.begin());
      if (count > 0)
        count = ReadOn(reply.bytes.data(), count, expectedLength,
                       deadlineAfter(written, copy.size() + reply.bytes.size()), judge);
      if (count > 0 && !noEchoTold_ && OnWarning) {
        noEchoTold_ = true;
        OnWarning(Format(Tr("%s: --echo, but the adapter did not echo the request: the reply "
                            "came alone"),
                         portName_.c_str()));
      }
    }
  }
  if (waitForReply)
    count = ReadFrame(reply.bytes.data(), expectedLength, wait,
                      deadlineAfter(written, reply.bytes.size()), judge);
  if (count > 0) {
    mayStillSend_ = judge(count) != TFrameVerdict::kComplete;
    quietUntil_ = deadlineAfter(written, reply.bytes.size());
    reply.lastByteAfter = Clock::now() - written;
    reply.firstByteAfter = firstBytesAt_ - written;
  } else {
    reply.firstByteAfter = reply.lastByteAfter = Clock::now() - written;
  }
  reply.bytes.resize(static_cast<std::size_t>(count));
  lastReplyTime_ = reply.lastByteAfter;
  if (trace_) {
    if (reply.bytes.empty()) {
      trace_(kEmptyReplyLine);
    } else {
      for (const std::string& line : ReplyLines(reply.bytes.data(), reply.bytes.size()))
        trace_(line);
    }
  }
  return reply;
}

std::chrono::milliseconds TDeviceLine::LineTime(std::size_t bytes) const {
  // 10 bits a character, rounded up to whole milliseconds.
  const std::uint64_t rate = BaudTable[baudIndex_];
  return std::chrono::milliseconds((bytes * 10'000 + rate - 1) / rate);
}

int TDeviceLine::Listen(std::uint8_t* into, int count, std::chrono::milliseconds within) {
  SetReadTimeouts(static_cast<std::int32_t>(within.count()));
  return std::max(0, port_->ReadPort(into, count));
}

void TDeviceLine::Note(const std::string& line) const {
  if (trace_) trace_("   : " + line);
}

void TDeviceLine::TraceBytes(const char* prefix, const std::vector<std::uint8_t>& bytes) {
  if (!trace_) return;
  trace_(prefix + HexCells(bytes.data(), bytes.size()));
}
