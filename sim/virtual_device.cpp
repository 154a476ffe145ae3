#include "sim/virtual_device.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace sim {
namespace {

constexpr std::size_t kLogLimit = 65536;

void CheckAddress(unsigned address) {
  if (address < 1 || address > 255) throw std::invalid_argument("device address must be 1..255");
}

void CheckBaudCode(unsigned code) {
  if (!IsBaudCode(code)) throw std::invalid_argument("baud code must be 1..8");
}

}  // namespace

TVirtualDevice::TVirtualDevice(const TDeviceConfig& config)
    : random_(0x5EED0000U + config.address) {
  CheckAddress(config.address);
  CheckBaudCode(config.baudCode);
  state_.address = config.address;
  state_.baudCode = config.baudCode;
  state_.registers = {config.id,          config.address, config.baudCode, config.mode,
                      config.powerUpMode, config.onMode,  config.remember};
}

std::uint8_t TVirtualDevice::Address() const {
  std::lock_guard lock(mutex_);
  return pendingAddress_ && Clock::now() >= pendingAt_ ? *pendingAddress_ : state_.address;
}

std::uint8_t TVirtualDevice::BaudCode() const {
  std::lock_guard lock(mutex_);
  return pendingBaudCode_ && Clock::now() >= pendingAt_ ? *pendingBaudCode_ : state_.baudCode;
}

void TVirtualDevice::SetAddress(std::uint8_t address) {
  CheckAddress(address);
  std::lock_guard lock(mutex_);
  state_.address = address;
  state_.registers[1] = address;
  pendingAddress_.reset();
}

void TVirtualDevice::SetBaudCode(std::uint8_t code) {
  CheckBaudCode(code);
  std::lock_guard lock(mutex_);
  state_.baudCode = code;
  state_.registers[2] = code;
  pendingBaudCode_.reset();
}

std::uint16_t TVirtualDevice::Register(std::size_t reg) const {
  std::lock_guard lock(mutex_);
  return state_.registers.at(reg);
}

TRegisters TVirtualDevice::Registers() const {
  std::lock_guard lock(mutex_);
  return state_.registers;
}

void TVirtualDevice::SetRegister(std::size_t reg, std::uint16_t value) {
  std::lock_guard lock(mutex_);
  state_.registers.at(reg) = value;
}

TFaults TVirtualDevice::Faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void TVirtualDevice::SetFaults(TFaults faults) {
  std::lock_guard lock(mutex_);
  faults_ = std::move(faults);
}

void TVirtualDevice::SetExtraTurnaround(std::chrono::milliseconds extra) {
  std::lock_guard lock(mutex_);
  extraTurnaround_ = extra;
}

void TVirtualDevice::SetMoveDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  moveDelay_ = delay;
}

std::chrono::nanoseconds TVirtualDevice::Turnaround() const {
  const std::uint8_t code = BaudCode();
  std::lock_guard lock(mutex_);
  return FrameSilence(RateOfBaudCode(code)) + extraTurnaround_;
}

std::vector<TRequestRecord> TVirtualDevice::Requests() const {
  std::lock_guard lock(mutex_);
  return {requests_.begin(), requests_.end()};
}

std::size_t TVirtualDevice::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requestCount_;
}

std::optional<TRequestRecord> TVirtualDevice::WaitForRequest(
    std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  if (!heard_.wait_until(lock, Clock::now() + timeout, [&] { return requestCount_ >= n; }))
    return std::nullopt;
  if (n < firstKept_ || n == 0) return std::nullopt;
  return requests_[n - firstKept_];
}

void TVirtualDevice::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  requestCount_ = 0;
  firstKept_ = 1;
  deafFrames_ = 0;
}

std::size_t TVirtualDevice::DeafFrames() const {
  std::lock_guard lock(mutex_);
  return deafFrames_;
}

void TVirtualDevice::ApplyPendingChange(Clock::time_point now) {
  if (now < pendingAt_) return;
  if (pendingAddress_) state_.address = *pendingAddress_;
  if (pendingBaudCode_) state_.baudCode = *pendingBaudCode_;
  pendingAddress_.reset();
  pendingBaudCode_.reset();
}

bool TVirtualDevice::Hears(const TPeerLine& line) const {
  // A UART tolerates a rate a few percent off; beyond that every character comes out as a
  // framing error and the device hears nothing.
  const std::int64_t own = RateOfBaudCode(state_.baudCode);
  const std::int64_t difference = std::abs(static_cast<std::int64_t>(line.rate) - own);
  return line.known && 50 * difference <= own;
}

TVirtualDevice::TOutcome TVirtualDevice::OnFrame(const TRequestRecord& frame, const TPeerLine& line,
                                                 Clock::time_point now) {
  std::lock_guard lock(mutex_);
  ApplyPendingChange(frame.firstByteAt);
  if (!Hears(line)) {
    ++deafFrames_;
    return {};
  }
  requests_.push_back(frame);
  ++requestCount_;
  if (requests_.size() > kLogLimit) {
    requests_.pop_front();
    ++firstKept_;
  }
  heard_.notify_all();

  if (!IsRequestFor(state_.address, frame.bytes)) return {};
  const TFaults faults = faults_;
  if (faults_.count > 0 && --faults_.count == 0) faults_ = {};
  if (faults.hangUp) return {.reply = std::nullopt, .hangUp = true};
  if (faults.silent) return {};

  TAnswer answer;
  if (!faults.reply.empty()) {
    answer.reply = faults.reply;
    AppendCrc(answer.reply);
  } else if (faults.exceptionCode != 0) {
    answer = TAnswer{ExceptionReply(frame.bytes[0], frame.bytes[1], faults.exceptionCode)};
  } else {
    answer = AnswerRequest(state_, frame.bytes);
  }
  std::vector<std::uint8_t> wire = ApplyContentFaults(std::move(answer.reply), faults, random_);
  if (faults.hangUpAfter && wire.size() > *faults.hangUpAfter) wire.resize(*faults.hangUpAfter);
  if (wire.empty()) return {};
  const std::uint32_t rate = RateOfBaudCode(state_.baudCode);
  const Clock::time_point start =
      std::max(now, frame.endAt + FrameSilence(rate) + extraTurnaround_ + faults.late);
  TTransmission reply = Pace(wire, start, CharTime(rate), faults.splitBefore, faults.splitGap);
  if (answer.newAddress || answer.newBaudCode) {
    pendingAddress_ = answer.newAddress;
    pendingBaudCode_ = answer.newBaudCode;
    pendingAt_ = reply.end + moveDelay_;
  }
  if (faults.loseReply) return {};
  return {.reply = std::move(reply),
          .hangUp = false,
          .hangUpAfterReply = faults.hangUpAfter.has_value()};
}

}  // namespace sim
