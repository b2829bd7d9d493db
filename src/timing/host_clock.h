// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

#include "timing/chord_clock.h"
#include "timing/host_time.h"

namespace sonavela::timing {

// The chords on a plugin host's timeline: a boundary every N beats counted
// from bar 1 beat 1 (HostTime), each at the time of its frame. The host hands
// its cycles over part by part, as the plugin plays them: a time:Position
// splits a cycle where it lies. Real-time safe: nothing here allocates.
class HostClock final : public ChordClock {
 public:
  explicit HostClock(double sampleRate);

  // A fresh activation at `frame`: as if the host rolled from bar 1 at
  // 120 BPM until it says otherwise.
  void Activate(std::int64_t frame);
  void SetBeatsPerChord(int beats) { beatsPerChord_ = beats; }
  // The frames [from, to) are played next.
  void Span(std::int64_t from, std::int64_t to);
  // What the host said at `frame`; a stop of a roll that played is cued
  // there.
  void Apply(std::int64_t frame, const HostPosition& position);
  [[nodiscard]] Timestamp TimeOfFrame(std::int64_t frame) const;
  // The first frame at or after `at`: times went through whole nanoseconds,
  // so a hair past a frame is still on it.
  [[nodiscard]] std::int64_t FrameAt(Timestamp at) const;
  [[nodiscard]] std::int64_t SpanStart() const { return from_; }

  // Just before the next boundary in the span, or the end of the span: what
  // is due before it is played now, and a pattern's notes stop at a chord.
  [[nodiscard]] Timestamp Now() const override;
  void Engage(Timestamp) override;
  void Disengage() override {
    engaged_ = false;
    next_.reset();
  }
  [[nodiscard]] bool Engaged() const override { return engaged_; }
  [[nodiscard]] std::optional<ClockEvent> Poll(Timestamp horizon) override;
  void ChordPlayed() override;
  // The host calls the plugin every cycle: nothing to wake for.
  [[nodiscard]] Timestamp NextWake() const override { return Timestamp::max(); }
  [[nodiscard]] std::optional<Timestamp> NextChord() const override { return std::nullopt; }
  [[nodiscard]] Meter CurrentMeter() const override;
  [[nodiscard]] std::optional<Timestamp> PulseAfter(Timestamp) const override {
    return std::nullopt;
  }
  [[nodiscard]] bool FollowsMaster() const override { return true; }

 private:
  void Aim();

  HostTime time_;
  int beatsPerChord_ = kDefaultBeatsPerChord;
  std::int64_t from_ = 0;
  std::int64_t to_ = 0;
  bool engaged_ = false;
  // A chord was cued since the activation, and since the last stop.
  bool started_ = false;
  bool cuedSinceStop_ = false;
  bool stopped_ = false;
  std::optional<std::int64_t> stopAt_;
  // The boundary handed out, until it is played.
  std::optional<std::int64_t> cued_;
  // The next boundary in the span, not handed out yet.
  std::optional<std::int64_t> next_;
  bool nextIsFresh_ = false;
};

}  // namespace sonavela::timing
