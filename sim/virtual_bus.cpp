#include "sim/virtual_bus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <stdexcept>
#include <system_error>

#include "sim/pty_port.h"

namespace sim {
namespace {

constexpr std::uint32_t kFreshLineRate = 9600;
// The payload of one USB packet of an FTDI chip: a full one goes at once, without the timer.
constexpr std::size_t kUsbPacketBytes = 62;
constexpr std::size_t kMaxFrame =
    256;  // a longer frame overruns a slave's buffer: the rest is lost

timespec ToTimespec(std::chrono::nanoseconds span) {
  if (span.count() < 0) span = std::chrono::nanoseconds(0);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(span);
  return {static_cast<time_t>(seconds.count()), static_cast<long>((span - seconds).count())};
}

}  // namespace

TVirtualBus::TVirtualBus(TBusOptions options) : options_(std::move(options)) {
  echo_.store(options_.echo);
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  try {
    PlugIn();
  } catch (...) {
    close(wake_);
    throw;
  }
}

TVirtualBus::~TVirtualBus() {
  Stop();
  PullOut(/*announce=*/false);
  close(wake_);
}

TVirtualDevice& TVirtualBus::AddDevice(const TDeviceConfig& config) {
  std::unique_ptr<TVirtualDevice> device(new TVirtualDevice(config));
  std::lock_guard lock(devicesMutex_);
  devices_.push_back(std::move(device));
  return *devices_.back();
}

void TVirtualBus::Start() {
  if (running_.load()) throw std::logic_error("the virtual bus is already running");
  stopping_.store(false);
  std::promise<void> ready;
  std::future<void> started = ready.get_future();
  {
    // Commands posted from now on wait in the queue until the thread takes them.
    std::lock_guard lock(commandMutex_);
    running_.store(true);
  }
  thread_ = std::thread([this, ready = std::move(ready)]() mutable {
    busThread_.store(std::this_thread::get_id());
    // Bytes are paced at 0.17 ms apart at 57600 Bd: wake-ups should not be rounded up.
    prctl(PR_SET_TIMERSLACK, 1UL);
    ready.set_value();
    try {
      Run();
    } catch (const std::exception& error) {
      Trace({.kind = TTraceEvent::TKind::kError, .at = Clock::now(), .text = error.what()});
    }
  });
  started.wait();
}

void TVirtualBus::Stop() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  const std::uint64_t one = 1;
  while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
  // Commands that came in while the thread was ending run here, so that no caller waits forever.
  std::vector<std::packaged_task<void()>> left;
  {
    std::lock_guard lock(commandMutex_);
    running_.store(false);
    left.swap(commands_);
  }
  for (auto& command : left)
    command();
}

std::string TVirtualBus::SlavePath() const {
  std::lock_guard lock(portMutex_);
  return slavePath_;
}

bool TVirtualBus::PluggedIn() const {
  std::lock_guard lock(portMutex_);
  return port_ != nullptr;
}

void TVirtualBus::HangUp() {
  RunOnBusThread([this] { PullOut(/*announce=*/true); });
}

void TVirtualBus::Replug() {
  RunOnBusThread([this] {
    PullOut(/*announce=*/true);
    PlugIn();
  });
}

void TVirtualBus::RunOnBusThread(std::function<void()> work) {
  if (std::this_thread::get_id() == busThread_.load()) {
    work();
    return;
  }
  std::packaged_task<void()> task(std::move(work));
  std::future<void> done = task.get_future();
  {
    std::lock_guard lock(commandMutex_);
    if (running_.load()) commands_.push_back(std::move(task));
  }
  if (task.valid()) {  // no bus thread: nothing else touches the pair, so do it here
    task();
    done.get();
    return;
  }
  const std::uint64_t one = 1;
  while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  done.get();  // rethrows what the work threw
}

void TVirtualBus::RunCommands() {
  std::vector<std::packaged_task<void()>> commands;
  {
    std::lock_guard lock(commandMutex_);
    commands.swap(commands_);
  }
  for (auto& command : commands)
    command();
}

void TVirtualBus::Run() {
  for (;;) {
    const Clock::time_point now = Clock::now();
    TakeUpFrame(now);
    if (replugAt_ && now >= *replugAt_) {
      replugAt_.reset();
      try {
        PlugIn();
      } catch (const std::exception& error) {
        Trace({.kind = TTraceEvent::TKind::kError, .at = now, .text = error.what()});
      }
    }
    DriveMaster(now);
    WriteDueBytes(now);
    if (hangUpAt_ && now >= *hangUpAt_) PullOut(/*announce=*/true);

    std::array<pollfd, 3> fds{};
    nfds_t count = 0;
    fds[count++] = {wake_, POLLIN, 0};
    const int watch = port_ ? port_->WatchFd() : -1;
    const int master = port_ ? port_->MasterFd() : -1;
    // Open and close notices first: a session that ended drops its unread bytes before anything
    // of the next one is handled.
    if (watch >= 0) fds[count++] = {watch, POLLIN, 0};
    if (master >= 0)
      fds[count++] = {master, static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0)), 0};
    const std::optional<Clock::time_point> deadline = NextDeadline();
    timespec timeout{};
    if (deadline) timeout = ToTimespec(*deadline - Clock::now());
    const int ready = ppoll(fds.data(), count, deadline ? &timeout : nullptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "ppoll");
    }

    for (nfds_t i = 1; i < count; ++i) {
      if (!port_) break;  // pulled out by an earlier step of this round
      if (fds[i].fd == watch && (fds[i].revents & POLLIN)) {
        if (port_->ReadOpenNotices()) port_->ForgetSession();
        portInUse_.store(port_->PeerHasItOpen());
      } else if (fds[i].fd == master) {
        if (fds[i].revents & POLLOUT) writeBlocked_ = false;
        if (fds[i].revents & POLLIN) ReadMaster();
        // The slave is held open here, so a hang-up or error means the pair itself broke.
        if (port_ && (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) &&
            !(fds[i].revents & POLLIN))
          PullOut(/*announce=*/true);
      }
    }
    if (fds[0].revents & POLLIN) {
      std::uint64_t value;
      while (read(wake_, &value, sizeof value) < 0 && errno == EINTR) {
      }
      RunCommands();
      if (stopping_.load()) return;
    }
  }
}

void TVirtualBus::ReadMaster() {
  std::array<std::uint8_t, 4096> buffer;
  for (;;) {
    const ssize_t n = read(port_->MasterFd(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    const auto size = static_cast<std::size_t>(n);
    bytesReceived_ += size;
    Hear(std::span(buffer.data(), size), Clock::now());
  }
}

void TVirtualBus::Hear(std::span<const std::uint8_t> bytes, Clock::time_point at) {
  if (LineBusy(at)) {
    Trace(
        {.kind = TTraceEvent::TKind::kCollision, .at = at, .bytes = {bytes.begin(), bytes.end()}});
    return;
  }
  if (!rx_.active) {
    rx_ = {.active = true,
           .bytes = {},
           .line = ReadPeerLine(port_->MasterFd()),
           .firstByteAt = at,
           .lineEnd = at,
           .deadline = at};
  }
  const std::uint32_t rate = rx_.line.rate;
  const std::size_t room = kMaxFrame - std::min(kMaxFrame, rx_.bytes.size());
  rx_.bytes.insert(rx_.bytes.end(), bytes.begin(),
                   bytes.begin() + static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
  if (rate == 0) return;  // rate B0: nothing can be heard; the frame ends at once, unheard
  // Bytes written while earlier ones are still on the line queue up behind them.
  const Clock::time_point lineStart = std::max(at, rx_.lineEnd);
  rx_.lineEnd = lineStart + CharTime(rate) * static_cast<std::int64_t>(bytes.size());
  if (echo_.load()) {
    // The adapter's receiver hears each byte once it has crossed the line, as a device does.
    std::vector<TTimedByte> echo;
    echo.reserve(bytes.size());
    for (std::size_t k = 0; k < bytes.size(); ++k)
      echo.push_back({lineStart + CharTime(rate) * static_cast<std::int64_t>(k + 1), bytes[k]});
    Queue(std::move(echo));
  }
  rx_.deadline = rx_.lineEnd + std::max<std::chrono::nanoseconds>(
                                   FrameSilence(rate),
                                   options_.frameSilence.value_or(std::chrono::milliseconds(0)));
}

void TVirtualBus::TakeUpFrame(Clock::time_point now) {
  if (!rx_.active || now < rx_.deadline) return;
  const TRequestRecord frame{std::move(rx_.bytes), rx_.firstByteAt, rx_.lineEnd};
  const TPeerLine line = rx_.line;
  const bool fromMaster = rx_.fromMaster;
  rx_ = {};
  std::optional<Clock::time_point> replyStart;
  std::optional<Clock::time_point> replyEnd;
  Trace({.kind = TTraceEvent::TKind::kRequest,
         .at = frame.firstByteAt,
         .bytes = frame.bytes,
         .rate = line.rate});

  std::vector<TVirtualDevice*> devices;
  {
    std::lock_guard lock(devicesMutex_);
    for (const auto& device : devices_)
      devices.push_back(device.get());
  }
  bool hangUp = false;
  for (TVirtualDevice* device : devices) {
    TVirtualDevice::TOutcome outcome = device->OnFrame(frame, line, now);
    hangUp = hangUp || outcome.hangUp;
    if (!outcome.reply || outcome.reply->bytes.empty()) continue;
    if (options_.trace) {
      TTraceEvent event{.kind = TTraceEvent::TKind::kReply, .at = outcome.reply->start};
      for (const TTimedByte& b : outcome.reply->bytes)
        event.bytes.push_back(b.value);
      event.address = frame.bytes[0];
      event.rate = RateOfBaudCode(device->BaudCode());
      Trace(std::move(event));
    }
    Schedule(*outcome.reply);
    if (!replyStart || outcome.reply->start < *replyStart) replyStart = outcome.reply->start;
    if (!replyEnd || outcome.reply->end > *replyEnd) replyEnd = outcome.reply->end;
    if (outcome.hangUpAfterReply) hangUpAfterSent_ = true;
  }
  if (fromMaster && master_ && master_->waiting) {
    // The master goes on after the reply, or after its wait when none began within it.
    const TMasterStep& step = master_->script.steps[master_->step];
    const auto silence = std::max<std::chrono::nanoseconds>(step.pause, FrameSilence(line.rate));
    const bool answered = replyStart && *replyStart <= frame.endAt + step.replyWithin;
    master_->nextAt = answered ? *replyEnd + silence : frame.endAt + step.replyWithin + silence;
    master_->waiting = false;
    if (++master_->step == master_->script.steps.size()) {
      master_->step = 0;
      ++master_->round;
    }
    std::lock_guard lock(tallyMutex_);
    ++(answered ? tally_.replies : tally_.unanswered);
  }
  if (hangUp) PullOut(/*announce=*/true);
}

void TVirtualBus::RunMaster(TMasterScript script) {
  RunOnBusThread([this, script = std::move(script)]() mutable {
    {
      std::lock_guard lock(tallyMutex_);
      tally_ = {};
      tally_.done = script.steps.empty();
    }
    master_.reset();
    if (script.steps.empty()) return;
    master_ = TMaster{.script = std::move(script), .nextAt = Clock::now()};
  });
}

void TVirtualBus::StopMaster() {
  RunOnBusThread([this] {
    master_.reset();
    std::lock_guard lock(tallyMutex_);
    tally_.done = true;
  });
}

TMasterTally TVirtualBus::MasterTally() const {
  std::lock_guard lock(tallyMutex_);
  return tally_;
}

void TVirtualBus::DriveMaster(Clock::time_point now) {
  if (!master_ || master_->waiting || now < master_->nextAt) return;
  // A master hears the line go quiet before it sends: when the bus was held up and hands over
  // late what is on the line, the next frame follows it. Only a frame sent at once after the one
  // before (replyWithin 0) goes out while that one is still under way.
  if (!outgoing_.empty() && !master_->chained) return;
  if (master_->script.repeat != 0 && master_->round >= master_->script.repeat) {
    master_.reset();
    std::lock_guard lock(tallyMutex_);
    tally_.done = true;
    return;
  }
  for (;;) {
    const TMasterStep& step = master_->script.steps[master_->step];
    SendMasterFrame(step, now);
    master_->chained = step.replyWithin.count() == 0;
    if (!master_->chained) {
      master_->waiting = true;
      return;
    }
    // The next frame follows this one on the line without a silence: one frame to the devices.
    // It is put on the line now, behind this one, so that a bus thread held up cannot let the
    // devices take the first one up alone.
    master_->nextAt = rx_.lineEnd;
    if (++master_->step == master_->script.steps.size()) {
      master_->step = 0;
      ++master_->round;
      if (master_->script.repeat != 0 && master_->round >= master_->script.repeat) return;
    }
  }
}

void TVirtualBus::SendMasterFrame(const TMasterStep& step, Clock::time_point now) {
  const std::uint32_t rate = master_->script.rate;
  const auto charTime = CharTime(rate);
  if (!rx_.active) {
    rx_ = {.active = true,
           .fromMaster = true,
           .bytes = {},
           .line = {.known = true, .rate = rate},
           .firstByteAt = now,
           .lineEnd = now,
           .deadline = now};
  }
  rx_.fromMaster = true;
  const Clock::time_point start = std::max(now, rx_.lineEnd);
  std::vector<TTimedByte> heard;
  for (std::size_t k = 0; k < step.frame.size(); ++k) {
    if (rx_.bytes.size() < kMaxFrame) rx_.bytes.push_back(step.frame[k]);
    heard.push_back({start + charTime * static_cast<std::int64_t>(k + 1), step.frame[k]});
  }
  rx_.lineEnd = start + charTime * static_cast<std::int64_t>(step.frame.size());
  rx_.deadline = rx_.lineEnd + std::max<std::chrono::nanoseconds>(
                                   FrameSilence(rate),
                                   options_.frameSilence.value_or(std::chrono::milliseconds(0)));
  Queue(std::move(heard));
  std::lock_guard lock(tallyMutex_);
  ++tally_.frames;
}

void TVirtualBus::Schedule(const TTransmission& transmission) {
  transmitting_.emplace_back(transmission.start, transmission.end);
  // Two devices answering at once interleave their bytes, as a collision garbles the line.
  Queue(transmission.bytes);
}

void TVirtualBus::Queue(std::vector<TTimedByte> bytes) {
  const auto middle = outgoing_.insert(outgoing_.end(), bytes.begin(), bytes.end());
  std::inplace_merge(outgoing_.begin(), middle, outgoing_.end(),
                     [](const TTimedByte& a, const TTimedByte& b) { return a.at < b.at; });
}

bool TVirtualBus::LineBusy(Clock::time_point at) {
  std::erase_if(transmitting_, [&](const auto& span) { return span.second <= at; });
  return std::any_of(transmitting_.begin(), transmitting_.end(),
                     [&](const auto& span) { return span.first <= at; });
}

// A wake-up later than this counts as late; less is the usual latency of a sleeping thread.
constexpr auto kLateWake = std::chrono::milliseconds(1);
// A silence this long between two bytes is a pause within a transmission (a split reply, a late
// part), not the spacing of characters: that is under 10 ms even at 1200 Bd.
constexpr auto kPause = std::chrono::milliseconds(20);

Clock::time_point TVirtualBus::NextHandOver(Clock::time_point crossed) const {
  if (!options_.usbLatency || options_.usbLatency->count() <= 0) return crossed;
  const auto period = std::chrono::duration_cast<Clock::duration>(*options_.usbLatency);
  const auto ticks = (crossed - ticksFrom_ + period - Clock::duration(1)) / period;
  return ticksFrom_ + period * std::max<Clock::rep>(0, ticks);
}

Clock::time_point TVirtualBus::HandOverAt() const {
  const Clock::time_point first = outgoing_.front().at;
  if (!options_.usbLatency || options_.usbLatency->count() <= 0) return first;
  // The next tick at or after the byte's arrival, unless a packet fills before it.
  Clock::time_point at = NextHandOver(first);
  if (outgoing_.size() >= kUsbPacketBytes)
    at = std::min(at, std::max(first, outgoing_[kUsbPacketBytes - 1].at));
  return at;
}

void TVirtualBus::WriteDueBytes(Clock::time_point now) {
  if (writeBlocked_) return;
  // Through a USB adapter, what has crossed the line by the last tick of its timer (or a full
  // packet) goes over; the rest waits in the adapter.
  Clock::time_point handedBy = now;
  if (options_.usbLatency && options_.usbLatency->count() > 0 && !outgoing_.empty()) {
    const auto period = std::chrono::duration_cast<Clock::duration>(*options_.usbLatency);
    handedBy = now < ticksFrom_ ? ticksFrom_ - period
                                : ticksFrom_ + period * ((now - ticksFrom_) / period);
    if (outgoing_.size() >= kUsbPacketBytes && outgoing_[kUsbPacketBytes - 1].at <= now)
      handedBy = std::max(handedBy, outgoing_[kUsbPacketBytes - 1].at);
  }
  std::vector<std::uint8_t> due;
  Clock::time_point lastDue{};
  while (!outgoing_.empty() && outgoing_.front().at <= handedBy) {
    // Bytes before a pause go out alone, even when the bus was woken too late for both.
    if (!due.empty() && outgoing_.front().at - lastDue > kPause) break;
    due.push_back(outgoing_.front().value);
    lastDue = outgoing_.front().at;
    outgoing_.pop_front();
  }
  // Woken late (a busy machine), the bus hands over at once what is due; a pause that follows
  // then starts now and keeps its length, instead of shrinking or vanishing. Bytes sent back to
  // back keep their times, so a late wake never slows a reply down.
  // (Through a USB adapter the bytes were due at the tick that hands them over.)
  const Clock::time_point dueAt = handedBy < now ? handedBy : lastDue;
  if (!due.empty() && !outgoing_.empty() && outgoing_.front().at - lastDue > kPause &&
      now - dueAt > kLateWake) {
    const auto delay = now - dueAt;
    for (TTimedByte& b : outgoing_)
      b.at += delay;
  }
  bytesSent_ += due.size();
  if (hangUpAfterSent_ && outgoing_.empty() && !due.empty()) {
    hangUpAfterSent_ = false;
    hangUpAt_ = now + std::chrono::milliseconds(30);
  }
  if (due.empty() || !port_ || !port_->PeerHasItOpen()) return;  // nobody listens: lost
  std::size_t written = 0;
  while (written < due.size()) {
    const ssize_t n = write(port_->MasterFd(), due.data() + written, due.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // The reader is not keeping up: hold the rest back until the pty takes bytes again.
      writeBlocked_ = true;
      bytesSent_ -= due.size() - written;
      for (std::size_t i = due.size(); i > written; --i)
        outgoing_.push_front({now, due[i - 1]});
      return;
    }
    if (n <= 0) return;  // the pair broke; the bytes are lost
    written += static_cast<std::size_t>(n);
  }
}

std::optional<Clock::time_point> TVirtualBus::NextDeadline() const {
  std::optional<Clock::time_point> next = replugAt_;
  const auto consider = [&](Clock::time_point at) {
    if (!next || at < *next) next = at;
  };
  if (rx_.active) consider(rx_.deadline);
  // The master's next frame is due once the line has handed over what is under way (then the
  // last byte's time wakes the thread, and the frame goes out after it).
  if (master_ && !master_->waiting && (outgoing_.empty() || master_->chained))
    consider(master_->nextAt);
  if (hangUpAt_) consider(*hangUpAt_);
  if (!outgoing_.empty() && !writeBlocked_) consider(HandOverAt());
  return next;
}

void TVirtualBus::PullOut(bool announce) {
  if (!port_) return;
  std::unique_ptr<TPtyPort> old;
  {
    std::lock_guard lock(portMutex_);
    old = std::move(port_);
    slavePath_.clear();
  }
  portInUse_.store(false);
  old.reset();
  rx_ = {};
  hangUpAfterSent_ = false;
  hangUpAt_.reset();
  outgoing_.clear();
  transmitting_.clear();
  writeBlocked_ = false;
  if (!announce) return;
  const Clock::time_point now = Clock::now();
  Trace({.kind = TTraceEvent::TKind::kHangUp, .at = now});
  if (options_.replugAfter) replugAt_ = now + *options_.replugAfter;
}

void TVirtualBus::PlugIn() {
  auto port = std::make_unique<TPtyPort>(options_.linkPath, kFreshLineRate);
  std::string path = port->SlavePath();
  {
    std::lock_guard lock(portMutex_);
    port_ = std::move(port);
    slavePath_ = path;
  }
  portInUse_.store(port_->PeerHasItOpen());
  replugAt_.reset();
  Trace({.kind = TTraceEvent::TKind::kPlugIn, .at = Clock::now(), .text = std::move(path)});
}

void TVirtualBus::Trace(TTraceEvent event) const {
  if (options_.trace) options_.trace(event);
}

}  // namespace sim
