// A serial line (an RS-485 bus) with virtual devices on it, on a pseudo-terminal pair: the bus
// keeps the master side, a master program opens the slave side (SlavePath, or the link).
//
// What the line does:
// - Requests are framed by silence: the master's write lands in the pty at once, but the bytes are
//   modelled as taking one character time each (10 bits at the rate the master set on its side,
//   read with TCGETS2 through the master), and a frame is complete 3.5 character times after its
//   last byte left the line. Every device then hears it, or stays deaf when the master's rate
//   differs from its own by more than 2 % (a pty has no other line setting to get wrong: it
//   forces 8 data bits without parity).
// - A reply's first byte starts on the line the device's Turnaround() after the end of the
//   request on the line; byte k starts k character times after the first, and is handed to the
//   pty once it has crossed the line, one character time later (when a UART would have it). So a
//   master holds the last reply byte (request bytes + reply bytes) character times + Turnaround()
//   after its write: the nominal exchange time.
// - A second master on the line (RunMaster): a control panel that polls the devices by a script
//   of frames, each put on the line at its rate as a master would, its requests heard by the
//   devices and, with their replies, by the program on the pseudo-terminal, which then only
//   listens: a live line with three parties.
// - An echoing adapter (TBusOptions::echo, SetEcho): a two-wire RS-485 adapter whose receiver
//   stays on while it sends hears its own request: each byte the master sends comes back to it
//   once it has crossed the line, before any reply.
// - A USB adapter (TBusOptions::usbLatency): the bytes for the master, having crossed the line,
//   are handed to the pty at the ticks of the adapter's latency timer, in pieces.
// - Half duplex: bytes that the master sends while a device is transmitting are lost.
// - Bytes due while no program has the slave open are lost, and what was left unread at the last
//   close is dropped, as on a real port (see TPtyPort). The close is learnt a moment after it
//   happens (PortInUse), so a program that closes and at once reopens may still find such bytes.
//
// Threads: one bus thread, started by Start, sleeps in ppoll() on the master, an inotify watch and
// an eventfd, with a timeout only up to the next scheduled byte or frame end. Start, Stop and the
// destructor belong to the owning thread; everything else may be called from any thread. Only
// HangUp and Replug block: until the bus thread has done them.
//
// Measured on a 2-core machine, from the master's write to its last reply byte, the line adds
// 0.2-0.5 ms of scheduling to the nominal time at any rate (1200..57600 Bd).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/peer_line.h"
#include "sim/transmission.h"
#include "sim/virtual_device.h"

namespace sim {

class TPtyPort;

struct TTraceEvent {
  enum class TKind : std::uint8_t {
    kRequest,    // a frame heard on the line (bytes, rate: the master's rate)
    kReply,      // a device starts a reply (bytes as sent, address, rate: the device's rate)
    kCollision,  // bytes from the master lost while a device was transmitting
    kHangUp,     // the adapter was pulled out
    kPlugIn,     // a pty was plugged in and published (text: its slave path)
    kError,      // a re-plug failed (text: why)
  };
  TKind kind = TKind::kRequest;
  Clock::time_point at{};
  std::vector<std::uint8_t> bytes{};
  std::uint8_t address = 0;
  std::uint32_t rate = 0;
  std::string text{};
};

struct TBusOptions {
  // Where to publish the slave as a symbolic link (empty: no link).
  std::string linkPath{};
  // Plug a new pty in automatically this long after each hang-up (none: only Replug does).
  std::optional<std::chrono::milliseconds> replugAfter{};
  // Called on the bus thread for each event (for the first plug-in, in the constructor). It must
  // be quick and must not throw; it may call HangUp or Replug, which then run at once.
  std::function<void(const TTraceEvent&)> trace{};
  // The least silence that ends a request (none: 3.5 character times at the line's rate).
  std::optional<std::chrono::milliseconds> frameSilence{};
  // The adapter echoes what the master sends (SetEcho changes it later).
  bool echo = false;
  // A USB adapter's latency timer (none: the bytes reach the master as they cross the line): the
  // adapter holds what it received and hands it over at each tick of this period, or at once
  // when a USB packet's worth (62 bytes) has gathered, as an FTDI chip does.
  std::optional<std::chrono::milliseconds> usbLatency{};
};

// One frame of a second master's script and what the master does after it.
struct TMasterStep {
  std::vector<std::uint8_t> frame;  // sent as given (the caller appends the CRC)
  // How long the master waits for a reply to begin after its frame; 0: the next frame follows
  // at once, without the silence of 3.5 characters (a master at fault).
  std::chrono::milliseconds replyWithin{350};
  // Silence after the reply (or after the wait) before the next frame, at least 3.5 characters.
  std::chrono::milliseconds pause{0};
};

struct TMasterScript {
  std::uint32_t rate = 9600;
  std::vector<TMasterStep> steps;
  unsigned repeat = 1;  // times through the steps; 0: until StopMaster
};

// What a second master did so far.
struct TMasterTally {
  std::size_t frames = 0;      // frames put on the line
  std::size_t replies = 0;     // frames a device answered (the reply began within the wait)
  std::size_t unanswered = 0;  // frames that waited for a reply in vain
  bool done = false;           // the script has ended (or was stopped)
};

class TVirtualBus {
 public:
  // Creates the pty pair (raw, 9600 8N1 until the master sets its own) and the link.
  // Throws std::system_error.
  explicit TVirtualBus(TBusOptions options = {});
  // Stops the thread, closes the pair and removes the link if it still points at our slave.
  ~TVirtualBus();
  TVirtualBus(const TVirtualBus&) = delete;
  TVirtualBus& operator=(const TVirtualBus&) = delete;

  // Puts a device on the line (before or after Start). Throws std::invalid_argument for an
  // address of 0 or a baud code outside 1..8.
  TVirtualDevice& AddDevice(const TDeviceConfig& config);

  // Returns once the bus thread runs and listens. Throws std::logic_error if already running.
  void Start();
  // Wakes the thread through its eventfd and joins it. Idempotent.
  void Stop();

  // The /dev/pts path of the current pair; empty while the adapter is pulled out.
  std::string SlavePath() const;
  const std::string& LinkPath() const { return options_.linkPath; }
  bool PluggedIn() const;

  // The adapter pulled out: closes the master (a program holding the slave sees a hang-up) and
  // removes the link. Returns once done. Nothing if already pulled out.
  void HangUp();
  // Plugs a new pair in (pulling the old one out first) and publishes it under the same link.
  // Returns once done; throws std::system_error if the pair cannot be made.
  void Replug();

  // True while a program other than the bus has the slave open. Learnt from inotify, so it follows
  // an open or close by a moment; by the time it turns false, what that program left unread has
  // been dropped. Always true where inotify is unavailable.
  bool PortInUse() const { return portInUse_.load(); }

  // All bytes read from the master so far (lost ones included).
  std::size_t BytesReceived() const { return bytesReceived_.load(); }
  // All bytes put across the line towards the master so far (the devices' replies, and the echo
  // of its own bytes), whether a program took them or not.
  std::size_t BytesSent() const { return bytesSent_.load(); }

  // Starts a second master on the line with this script (replacing one that runs). Its bytes
  // reach the pseudo-terminal as they cross the line, as the devices' replies do; lost while no
  // program has the port open.
  void RunMaster(TMasterScript script);
  void StopMaster();
  TMasterTally MasterTally() const;

  // When the adapter hands over a byte that has crossed the line at `crossed`: then, or at the
  // next tick of its latency timer (TBusOptions::usbLatency), a packet filling up aside.
  Clock::time_point NextHandOver(Clock::time_point crossed) const;

  // The adapter echoes every byte the master sends (a two-wire RS-485 adapter that hears itself),
  // from the next byte on.
  void SetEcho(bool echo) { echo_.store(echo); }

 private:
  struct TReceiver {
    bool active = false;
    bool fromMaster = false;  // the second master's frame (it waits for the take-up)
    std::vector<std::uint8_t> bytes;
    TPeerLine line;
    Clock::time_point firstByteAt;
    Clock::time_point lineEnd;
    Clock::time_point deadline;
  };

  void Run();
  void DriveMaster(Clock::time_point now);
  void SendMasterFrame(const TMasterStep& step, Clock::time_point now);
  void RunOnBusThread(std::function<void()> work);
  void RunCommands();
  void ReadMaster();
  void Hear(std::span<const std::uint8_t> bytes, Clock::time_point at);
  void TakeUpFrame(Clock::time_point now);
  void Schedule(const TTransmission& transmission);
  void Queue(std::vector<TTimedByte> bytes);
  bool LineBusy(Clock::time_point at);
  void WriteDueBytes(Clock::time_point now);
  // When the adapter hands over the first byte waiting for the master (its time on the line
  // without a latency timer).
  Clock::time_point HandOverAt() const;
  std::optional<Clock::time_point> NextDeadline() const;
  // announce: trace the hang-up and arm the automatic re-plug.
  void PullOut(bool announce);
  void PlugIn();
  void Trace(TTraceEvent event) const;

  TBusOptions options_;
  mutable std::mutex portMutex_;  // guards port_ swaps and slavePath_ against readers
  std::unique_ptr<TPtyPort> port_;
  std::string slavePath_;
  mutable std::mutex devicesMutex_;
  std::vector<std::unique_ptr<TVirtualDevice>> devices_;
  int wake_ = -1;
  std::thread thread_;
  std::atomic<std::thread::id> busThread_{};
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  std::mutex commandMutex_;
  std::vector<std::packaged_task<void()>> commands_;
  std::atomic<std::size_t> bytesReceived_{0};
  std::atomic<std::size_t> bytesSent_{0};
  std::atomic<bool> portInUse_{false};
  std::atomic<bool> echo_{false};

  // Bus thread only (or the owner while the thread is not running).
  TReceiver rx_;
  std::deque<TTimedByte> outgoing_;
  std::vector<std::pair<Clock::time_point, Clock::time_point>> transmitting_;
  bool writeBlocked_ = false;
  std::optional<Clock::time_point> replugAt_;
  // A reply that ends with the adapter pulled out: set while its bytes go out, then the time of
  // the pull.
  struct TMaster {
    TMasterScript script;
    std::size_t step = 0;
    unsigned round = 0;
    Clock::time_point nextAt{};
    bool waiting = false;  // its frame waits to be taken up by the devices
    bool chained = false;  // the next frame follows the last one at once
  };
  std::optional<TMaster> master_;
  mutable std::mutex tallyMutex_;
  TMasterTally tally_;
  bool hangUpAfterSent_ = false;
  std::optional<Clock::time_point> hangUpAt_;
  Clock::time_point ticksFrom_ = Clock::now();  // the phase of the latency timer
};

}  // namespace sim
