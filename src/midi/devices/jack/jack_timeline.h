// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "midi/port/midi_message.h"

namespace sonavela::midi {

// Where the JACK server's frames lie on libjack's clock, as one line at the
// sample rate through the start of one cycle. JACK's own estimate of each
// cycle's time (its DLL) wanders by a frame or two around the true line,
// and the sound card's frames run a few parts per million off the system's
// clock; on this line, by contrast, times k x T apart are exactly k x T x
// rate frames apart, which is what a DAW's timeline and a recording measure.
// The line moves only when JACK's estimate has parted from it by more than
// `kTolerance`: after an xrun, or once a card's drift has added up.
//
// Every JACK client of the program maps times and frames through the same
// line (the output places messages, the transport and the clock input stamp
// what they read), so a time read from a frame goes back to that frame.
// One real-time thread at a time observes the cycles; any thread maps,
// without a lock.
class JackTimeline {
 public:
  static constexpr std::chrono::microseconds kTolerance{1000};

  // A real-time thread, once a cycle: the cycle's first frame, JACK's
  // estimate of its time (jack_get_cycle_times) and the sample rate. The
  // first `observer` to call keeps the line until it lets go; the others'
  // calls only count. The frame comes back counted without wrapping.
  std::int64_t Observe(const void* observer, std::uint32_t startFrame, std::uint64_t startUsecs,
                       std::uint32_t rate);
  // The observer stops observing; until another one starts, there is no
  // line (its cycles would no longer be watched).
  void Release(const void* observer);

  // The frame at `jackNs` (nanoseconds on libjack's clock), and the time of
  // a frame; std::nullopt before the first cycle was observed.
  [[nodiscard]] std::optional<double> FrameAt(std::int64_t jackNs) const;
  [[nodiscard]] std::optional<std::int64_t> TimeOfFrame(std::int64_t frame) const;
  // A frame the server gave (32 bits, wrapping every day or so at 48 kHz)
  // as a count without wrapping, near the last cycle observed.
  [[nodiscard]] std::optional<std::int64_t> Unwrap(std::uint32_t frame) const;

 private:
  struct Line {
    std::int64_t frame = 0;
    std::int64_t ns = 0;
    std::uint32_t rate = 0;
  };
  [[nodiscard]] std::optional<Line> Read() const;
  void Write(const Line& line);

  // Written by the observing thread only, under an odd sequence number.
  std::atomic<std::uint64_t> sequence_{0};
  std::atomic<std::int64_t> frame_{0};
  std::atomic<std::int64_t> ns_{0};
  std::atomic<std::uint32_t> rate_{0};
  std::atomic<std::int64_t> lastFrame_{0};
  std::atomic<const void*> observer_{nullptr};
  // The observing thread only.
  bool started_ = false;
  std::uint32_t lastRaw_ = 0;
  std::int64_t unwrapped_ = 0;
};

// The line of the one JACK server that libjack lets a process talk to.
[[nodiscard]] JackTimeline& ServerTimeline();

// How far libjack's clock (the raw monotonic clock, which parts from the
// steady clock by the system's frequency correction) is ahead of the
// program's, in nanoseconds, read side by side now: the tightest of a few
// readings, so that a thread held up between two reads does not count.
[[nodiscard]] std::int64_t JackClockOffset();

}  // namespace sonavela::midi
