// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "timing/chord_clock.h"
#include "timing/jack_transport.h"

namespace sonavela::timing {

// Follows a transport (the JACK transport): chords change on every N-th
// beat counted from bar 1 beat 1 of its timeline, at its tempo. While it
// rolls the progression plays; when it stops, the notes are silenced until
// it rolls again. A roll from the very beginning of the timeline is a fresh
// start; a roll from anywhere else, or a relocation, goes on with the next
// chord at the next chord boundary.
class TransportClock final : public ChordClock {
 public:
  // Reads the transport; std::nullopt once it is gone.
  using Source = std::function<std::optional<timing::TransportPosition>()>;

  TransportClock(Source source, int beatsPerChord, GridClock::TimeSource now = {});

  [[nodiscard]] Timestamp Now() const override { return now_(); }
  void Engage(Timestamp now) override;
  void Disengage() override;
  [[nodiscard]] bool Engaged() const override { return engaged_; }
  [[nodiscard]] std::optional<ClockEvent> Poll(Timestamp horizon) override;
  void ChordPlayed() override { awaitingPlayed_ = false; }
  [[nodiscard]] Timestamp NextWake() const override;
  [[nodiscard]] std::optional<Timestamp> NextChord() const override;
  [[nodiscard]] std::chrono::nanoseconds PollInterval() const override;
  [[nodiscard]] Meter CurrentMeter() const override;
  [[nodiscard]] std::optional<Timestamp> PulseAfter(Timestamp after) const override;
  [[nodiscard]] std::optional<Notice> TakeNotice() override;
  [[nodiscard]] bool FollowsMaster() const override { return true; }
  [[nodiscard]] bool MasterGone() const override { return gone_; }
  [[nodiscard]] std::optional<double> LastEventBeats() const override {
    return static_cast<double>(playedBoundary_ * beatsPerChord_);
  }

 private:
  // The boundary (chord index from the start of the timeline) that comes
  // next after the one played, and when, as the last reading has it.
  struct Boundary {
    std::int64_t index = 0;
    Timestamp at{};
  };
  [[nodiscard]] Boundary NextBoundary() const;
  [[nodiscard]] Timestamp TimeOfBeats(double beats) const;
  [[nodiscard]] double SecondsPerBeat() const;
  ClockEvent Emit(Cue cue, Timestamp at, std::int64_t boundary);
  void MeasureRate(const timing::TransportPosition& read);

  Source source_;
  int beatsPerChord_;
  GridClock::TimeSource now_;
  std::optional<timing::TransportPosition> last_;
  // The beats a second the transport really moves at, measured between two
  // readings: a master's stated tempo and its bar and beat may disagree
  // (bar and beat counted in whole ticks a cycle), and the bars are what
  // the chords must meet.
  std::optional<timing::TransportPosition> anchor_;
  std::optional<double> beatsPerSecond_;
  double measuredAtBpm_ = 0;  // the stated tempo the rate was measured at
  bool engaged_ = false;
  bool playing_ = false;
  bool wasRolling_ = false;
  bool awaitingPlayed_ = false;
  bool gone_ = false;
  std::optional<Notice> notice_;
  std::int64_t playedBoundary_ = -1;
  Timestamp playedAt_{};
  // The boundary the last poll found ahead, while the transport rolls on:
  // once passed between two polls (a front end that polls seldom, a device
  // that sends at once) it is played late rather than skipped.
  std::optional<std::int64_t> awaited_;
};

}  // namespace sonavela::timing
