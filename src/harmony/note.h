// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace sonavela::harmony {

// A note as it is written: a letter and an accidental. Two spellings of the
// same pitch (F# and Gb) are different notes; only PitchClass equates them.
struct SpelledNote {
  char letter = ' ';            // 'A'..'G', or ' ' for "no note"
  std::int32_t accidental = 0;  // semitones added to the natural letter

  friend constexpr bool operator==(SpelledNote, SpelledNote) = default;
};

// ' ' is major, 'm' is minor (harmonic minor).
inline constexpr char kMajor = ' ';
inline constexpr char kMinor = 'm';

struct Key {
  SpelledNote tonic;
  char mode = kMajor;

  friend constexpr bool operator==(Key, Key) = default;
};

// 1 is the tonic; numbers above 7 fold back by octaves where a degree is read.
using ScaleDegree = std::int32_t;

// A move of `steps` letters, each a whole tone, then `delta` semitones.
struct Interval {
  std::int32_t steps = 0;
  std::int32_t delta = 0;

  friend constexpr bool operator==(Interval, Interval) = default;
};

[[nodiscard]] SpelledNote WholeToneUp(SpelledNote note);
[[nodiscard]] SpelledNote WholeToneDown(SpelledNote note);
[[nodiscard]] SpelledNote MoveByWholeTones(SpelledNote note, Interval interval);

// Degrees above 7 fold back into 1..7; 7 or less (0 and negatives included)
// are used as they are.
[[nodiscard]] SpelledNote DegreeRoot(Key key, ScaleDegree degree);

// 0..11 for every accidental; ' ' and unknown letters count as C.
[[nodiscard]] int PitchClass(SpelledNote note);

// The 17 everyday spellings of the twelve pitch classes.
[[nodiscard]] bool IsPlainNote(SpelledNote note);

}  // namespace sonavela::harmony
