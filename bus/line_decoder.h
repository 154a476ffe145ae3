// What the frames heard on a live line mean in this family's terms: each request paired with
// the reply that follows it from the same address and function, decoded ("5 read parameters ->
// ТАРВИ-З-А: mode 2 (...), power-up 0, on-command 2, remember no", "5 write address 12 ->
// confirmed"); a request that no reply follows within the family's time-out is unanswered; a
// reply no request asked for, other functions and garbled bytes are named with their fault; and
// a tally per address. Pure (the caller passes the time); any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bus/line_frames.h"

struct TLineEvent {
  using Clock = std::chrono::steady_clock;
  enum class TKind { Request, Reply, Exception, NoAnswer, Garbled, Unsolicited, Other };
  TKind kind = TKind::Request;
  Clock::time_point at;             // the frame's first byte; for NoAnswer when it was decided
  std::vector<std::uint8_t> bytes;  // the frame (none for NoAnswer)
  bool crcOk = false;
  std::optional<unsigned> address;
  std::optional<unsigned> function;
  std::string text;
  // A reply: from the request's end to the reply's end, never less than the reply's own time on
  // the line.
  std::optional<double> replyMs;
  std::optional<double> waitedMs;    // NoAnswer: the time-out that passed
  std::optional<double> tooCloseMs;  // see TLineFrame
};

// Its name in --json: "request", "reply", "exception", "no_answer", "garbled", "unsolicited",
// "other".
const char* EventKindName(TLineEvent::TKind kind);

struct TAddressTally {
  unsigned requests = 0;
  unsigned answers = 0;  // replies that passed the CRC check, exceptions included
  unsigned noAnswers = 0;
  unsigned crcErrors = 0;  // garbled replies
  unsigned exceptions = 0;
  std::vector<double> replyMs;
};

struct TLineTally {
  unsigned frames = 0;  // every frame and garbled piece
  unsigned garbled = 0;
  unsigned tooClose = 0;
  unsigned unsolicited = 0;
  unsigned other = 0;
  unsigned open = 0;  // requests still waiting for their reply at the end
  std::map<unsigned, TAddressTally> addresses;
};

class TLineDecoder {
 public:
  using Clock = std::chrono::steady_clock;

  // baudIndex: the line's rate, for the time-out after a read.
  explicit TLineDecoder(std::uint8_t baudIndex);

  // The events of one frame (an unanswered request before it, when its time-out has passed).
  std::vector<TLineEvent> Take(const TLineFrame& frame);
  // A request whose time-out has passed by `now` is unanswered.
  std::vector<TLineEvent> Idle(Clock::time_point now);
  // When Idle should be called next; nothing while no request waits.
  std::optional<Clock::time_point> NextTimeout() const;
  bool Waiting() const { return pending_.has_value(); }
  // The end of listening: a request still waiting counts as open.
  void Finish();
  const TLineTally& Tally() const { return tally_; }

 private:
  struct TPending {
    std::vector<std::uint8_t> bytes;
    Clock::time_point endAt;
    Clock::time_point deadline;
  };

  // The request waiting is unanswered once its time-out has passed by `now`, or at once when
  // `wentOn` (the master sent its next request).
  void Expire(Clock::time_point now, std::vector<TLineEvent>& events, bool wentOn = false);

  std::uint8_t baudIndex_;
  std::optional<TPending> pending_;
  TLineTally tally_;
};

// "5 read parameters", "5 write address 12", "5 switch on": a request of the family.
std::string RequestText(const std::vector<std::uint8_t>& request);
