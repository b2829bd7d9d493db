// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "timing/chord_clock.h"
#include "timing/midi_input.h"

namespace sonavela::timing {

// Follows a MIDI beat clock master: 24 clocks to a quarter note, a chord on
// every N x 24-th clock counted from the song position (Start sets it to 0,
// a song position pointer to where the master's next Continue goes on). A
// chord sounds at the arrival of its clock, and the clock's pulses are
// passed on as they came. Start is a fresh start at the clock after it;
// Continue goes on with the next chord at the next boundary; Stop silences.
// A clock that stops arriving while the master plays leaves the chord
// sounding, with one notice, until it comes back.
class MidiClockFollower final : public ChordClock {
 public:
  // Where the master's messages come from, oldest first.
  class Source {
   public:
    virtual ~Source() = default;
    [[nodiscard]] virtual std::optional<timing::ClockInputEvent> Next() = 0;
    // Whether the input has gone away; asked only while no clock arrives.
    [[nodiscard]] virtual bool Gone() { return false; }
  };

  // `name` is the input as the user knows it; `fallbackBpm` the tempo
  // assumed until the clock tells its own.
  MidiClockFollower(std::unique_ptr<Source> source, std::string name, int beatsPerChord,
                    double fallbackBpm, GridClock::TimeSource now = {});

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
  [[nodiscard]] bool MasterGone() const override { return goneReported_; }
  [[nodiscard]] std::optional<double> LastEventBeats() const override {
    return static_cast<double>(eventPosition_) / 24.0;
  }

 private:
  [[nodiscard]] std::optional<ClockEvent> Apply(const timing::ClockInputEvent& event);
  // Remembers a clock; returns its time, as passed on.
  Timestamp NoteClock(Timestamp at);
  void WatchSilence(Timestamp now);
  void WatchStoppedInput(Timestamp now);
  [[nodiscard]] std::chrono::nanoseconds ClockPeriod() const;
  [[nodiscard]] std::chrono::nanoseconds SilenceLimit() const;
  ClockEvent Emit(Cue cue, Timestamp at);

  std::unique_ptr<Source> source_;
  std::string name_;
  std::int64_t clocksPerChord_;
  GridClock::TimeSource now_;
  // Read before Engage and kept for the first Poll: it is recent enough to
  // act on.
  std::optional<timing::ClockInputEvent> held_;

  bool engaged_ = false;
  bool awaitingPlayed_ = false;
  // What the master does: between Start or Continue and Stop it rolls.
  bool rolling_ = false;
  bool startPending_ = false;  // the clock after Start begins afresh
  bool joinPending_ = false;   // the next boundary goes on
  bool playing_ = false;       // a chord sounds or is due
  // The song position, in clocks, of the next clock.
  std::int64_t position_ = 0;
  // The song position, in clocks, of the clock of the last event.
  std::int64_t eventPosition_ = 0;

  // The latest arrivals, to pass the pulses on and to time them.
  static constexpr std::size_t kRemembered = 256;
  std::array<Timestamp, kRemembered> arrivals_{};
  std::uint64_t clocks_ = 0;    // ever seen
  std::uint64_t runStart_ = 0;  // the first clock since the last silence
  double clockNs_;              // smoothed period of the clock

  bool silent_ = false;
  bool goneReported_ = false;
  Timestamp nextGoneCheck_{};
  std::optional<Notice> notice_;
};

}  // namespace sonavela::timing
