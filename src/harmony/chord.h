// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "harmony/note.h"

namespace sonavela::harmony {

inline constexpr std::size_t kToneSlots = 5;

// One row of the triad table: the tones as Intervals from the root, ended by
// the first Interval with negative steps (or all five slots).
struct ChordType {
  std::int32_t kind = -1;  // 1 on chord rows, -1 on the end row
  std::array<Interval, kToneSlots> tones{};

  friend constexpr bool operator==(const ChordType&, const ChordType&) = default;
};

inline constexpr ChordType kMajorTriad{1, {{{0, 0}, {2, 0}, {4, -1}, {-1, 0}, {0, 0}}}};
inline constexpr ChordType kMinorTriad{1, {{{0, 0}, {2, -1}, {4, -1}, {-1, 0}, {0, 0}}}};
inline constexpr ChordType kDiminishedTriad{1, {{{0, 0}, {2, -1}, {4, -2}, {-1, 0}, {0, 0}}}};
// Its tones are the root five times, so it never fits a key.
inline constexpr ChordType kEndRow{-1, {{{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}}};

// Tried in this order; there is no augmented triad.
inline constexpr std::array<ChordType, 4> ChordTypeTable{kMajorTriad, kMinorTriad, kDiminishedTriad,
                                                         kEndRow};

// A root and a private copy of a type row, which corrections may alter.
// A root letter of ' ' marks the empty chord. operator== compares the records
// field by field; ChordsEqual is the comparison the music uses.
struct Chord {
  SpelledNote root;
  ChordType type = kEndRow;

  friend constexpr bool operator==(const Chord&, const Chord&) = default;
};

// The notes of a chord in tone order, at most five, without allocation.
class ToneList {
 public:
  void push_back(SpelledNote note) { notes_[count_++] = note; }
  [[nodiscard]] std::size_t size() const { return count_; }
  [[nodiscard]] bool empty() const { return count_ == 0; }
  [[nodiscard]] SpelledNote operator[](std::size_t i) const { return notes_[i]; }
  [[nodiscard]] const SpelledNote* begin() const { return notes_.data(); }
  [[nodiscard]] const SpelledNote* end() const { return notes_.data() + count_; }

 private:
  std::array<SpelledNote, kToneSlots> notes_{};
  std::size_t count_ = 0;
};

[[nodiscard]] ToneList ChordTones(const Chord& chord);

// True when the chord contains the key's own triad on `degree`.
[[nodiscard]] bool ChordFitsKey(Key key, ScaleDegree degree, const Chord& chord);

// First degree 1..7 whose triad the chord contains, 0 if none.
[[nodiscard]] ScaleDegree DegreeOfChord(Key key, const Chord& chord);

[[nodiscard]] bool ChordsEqual(const Chord& a, const Chord& b);

// The first table row that fits the degree, or the empty chord (blank root
// letter, the computed accidental, the end row).
[[nodiscard]] Chord BuildChordOnDegree(Key key, ScaleDegree degree);

}  // namespace sonavela::harmony
