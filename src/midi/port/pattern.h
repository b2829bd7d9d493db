// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string_view>

#include "midi/port/midi_message.h"
#include "midi/port/voicing.h"

namespace sonavela::midi {

// How a voiced chord is played over its length.
enum class ChordPattern {
  kBlock,         // every note at once, held to the next chord
  kArpeggioUp,    // the bass held, the upper voices one a sixteenth, upwards
  kArpeggioDown,  // the same downwards
  kStrum,         // every note held, each a little after the one below it
  kPulse,         // the whole chord struck again on every beat
};

[[nodiscard]] std::optional<ChordPattern> ParseChordPattern(std::string_view name);
[[nodiscard]] std::string_view ChordPatternName(ChordPattern pattern);
// Every pattern's name, in the order of ChordPattern.
[[nodiscard]] std::span<const std::string_view> ChordPatternNames();

// The longest random delay of a note that --humanize accepts: beyond it a
// note is late, no longer loose.
inline constexpr int kLongestHumanizeMs = 50;
// Between the notes of a strum, from the lowest up.
inline constexpr std::chrono::milliseconds kStrumStep{12};

// Where the beats of a chord fall: what the patterns count in.
struct PatternBeat {
  double beatNs = 5e8;
  int beatsPerChord = 4;
};

// One note of a pattern, to be started or ended at its time.
struct PatternNote {
  VoicedChord::Note note;
  bool on = true;
  Timestamp at{};
};

// Plays one voiced chord as a pattern: hands out its notes in time order,
// step after step, until the next chord takes its place. A repeating pattern
// goes on for as long as the chord lasts, so it follows a master whose
// chord comes late. Allocates nothing, so that a real-time thread may use it.
class PatternPlayer {
 public:
  explicit PatternPlayer(ChordPattern pattern = ChordPattern::kBlock, int humanizeMs = 0);

  // Every note at the chord's time, in the voicing's order: nothing to
  // schedule.
  [[nodiscard]] bool Plain() const { return pattern_ == ChordPattern::kBlock && humanizeNs_ == 0; }
  void Begin(const VoicedChord& chord, Timestamp at, PatternBeat beat);
  // Forgets the chord; nothing more is handed out.
  void Clear();
  [[nodiscard]] std::optional<Timestamp> NextTime() const;
  // The next note if its time is before `before`.
  [[nodiscard]] std::optional<PatternNote> Take(Timestamp before);

 private:
  void BuildStep();
  void AddOn(VoicedChord::Note note, std::chrono::nanoseconds delay);
  void AddOff(VoicedChord::Note note);

  ChordPattern pattern_;
  std::int64_t humanizeNs_;
  std::minstd_rand random_;

  VoicedChord chord_;  // as voiced: upper voices from the top, bass last
  VoicedChord upper_;  // in the order an arpeggio plays them
  Timestamp origin_{};
  double stepNs_ = 0;  // zero: one step only
  double chordNs_ = 0;
  std::int64_t step_ = 0;
  bool active_ = false;

  std::array<PatternNote, 2 * VoicedChord::kCapacity> notes_{};
  std::size_t count_ = 0;
  std::size_t next_ = 0;
};

}  // namespace sonavela::midi
