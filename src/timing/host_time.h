// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

namespace sonavela::timing {

// What one time:Position said; what it leaves out keeps its last value.
struct HostPosition {
  std::optional<double> speed;
  std::optional<double> beatsPerMinute;
  std::optional<double> beatsPerBar;
  std::optional<std::int64_t> bar;  // zero-based, as LV2 counts
  std::optional<double> barBeat;
};

// A chord boundary inside a cycle, on the plugin's own frame count.
struct Boundary {
  std::int64_t frame = 0;
  // At the start of the timeline (bar 1, beat 1) after a roll or a
  // relocation there: the progression starts afresh.
  bool fresh = false;
};

// The host's transport as the plugin follows it: where the beats fall on the
// plugin's frames, counted at the host's tempo from where it started rolling
// or last jumped to (hosts send a position when something changed, some at
// every cycle; one that agrees with the count within a float's error and the
// host's rounding of the beat only confirms it). Chords
// fall every N beats counted from bar 1 beat 1, each on the first frame at or
// after the exact time of its beat.
class HostTime {
 public:
  explicit HostTime(double sampleRate);

  // As if the host had started rolling at 120 BPM from bar 1 at `frame`: what
  // a host that sends no time gets.
  void Activate(std::int64_t frame);
  // Returns true when the position stops a roll.
  [[nodiscard]] bool Apply(std::int64_t frame, const HostPosition& position);
  // The next boundary in [from, to) for chords of `beatsPerChord` beats.
  [[nodiscard]] std::optional<Boundary> NextBoundary(std::int64_t from, std::int64_t to,
                                                     int beatsPerChord);
  // The boundary NextBoundary gave has been played.
  void Passed();

  [[nodiscard]] bool Rolling() const { return rolling_; }
  [[nodiscard]] double BeatAt(std::int64_t frame) const;
  // The length of a beat at the host's tempo, as if it played at speed 1.
  [[nodiscard]] double SecondsPerBeat() const { return 60.0 / beatsPerMinute_; }
  [[nodiscard]] double SampleRate() const { return sampleRate_; }

 private:
  [[nodiscard]] double BeatsPerFrame() const;
  void AimAtBoundaryFrom(double beat, int beatsPerChord);

  double sampleRate_;
  bool rolling_ = false;
  double speed_ = 0.0;
  double beatsPerMinute_ = 120.0;
  double beatsPerBar_ = 4.0;
  std::int64_t anchorFrame_ = 0;
  double anchorBeat_ = 0.0;
  // The beat of the next chord, and the chord length it was counted for.
  double nextBeat_ = 0.0;
  int countedFor_ = 0;
  bool nextIsFresh_ = false;
};

}  // namespace sonavela::timing
