// Where a reply ends, decided from its bytes alone: whole, still short, or never the reply that
// was asked for. Pure (no clock, no port, no Qt); any thread.
//
// A USB adapter hands over what it received in pieces at the ticks of its latency timer (16 ms
// by default on FTDI chips), so a silence between two reads says little about where a frame
// ends. The reader asks this judge after each piece instead: a reply that can still grow into the
// awaited frame is read on within the reply time-out; one that is whole ends at once, with no
// wait; only bytes that can no longer become the reply are ended by a silence (the gap).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

enum class TFrameVerdict : std::uint8_t {
  kComplete,   // a whole frame: its length by its function (and byte count), its CRC holds
  kNeedsMore,  // a beginning of the awaited reply: more bytes are due
  kCannotBe,   // not the awaited reply, whatever follows (garbage, a cut or corrupted frame)
};

// Judges the bytes received so far in answer to a request with `function`. The reply's length is
// taken from its own bytes where the function tells it (a read's byte count, a write's 8-byte
// echo, an exception's 5 bytes), else `expectedLength`. The address is not judged: a reply from
// another address may be a whole frame (a late reply, which a scan credits to its sender).
TFrameVerdict JudgeReply(std::span<const std::uint8_t> bytes, std::uint8_t function,
                         std::size_t expectedLength);

// Judges an adapter's copy of the request (an echoing RS-485 adapter): whole once all of
// `request` is in, short while the bytes are its beginning, else no copy at all.
TFrameVerdict JudgeEcho(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> request);

// The latency timer that a USB adapter is assumed to have when the system does not tell: the
// FTDI default, the longest that the common chips (FTDI, CH340, CP210x, PL2303) leave at their
// defaults.
inline constexpr std::chrono::milliseconds kAssumedAdapterLatency{16};
// What the silence that ends a frame adds to the adapter's latency: the host's polling of the
// USB pipe (1 ms frames) and a busy PC.
inline constexpr std::chrono::milliseconds kSilenceMargin{10};
// The silence that ends a frame when the adapter's latency is unknown: two ticks of the assumed
// latency and the margin, so that a tick whose transfer slips to the next (a busy host, an
// adapter set to 32 ms) still does not cut a frame.
inline constexpr std::chrono::milliseconds kDefaultGap =
    2 * kAssumedAdapterLatency + kSilenceMargin;

// The silence that ends what the framing cannot decide: the chosen gap (`given`, else
// kDefaultGap when the latency is unknown, else the latency and the margin), never under the
// adapter's latency and the margin when the system tells it.
std::chrono::milliseconds FrameGap(std::optional<std::chrono::milliseconds> given,
                                   std::optional<std::chrono::milliseconds> adapterLatency);
