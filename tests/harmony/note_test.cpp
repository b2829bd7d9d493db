// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "harmony/note.h"
#include "test_notes.h"

namespace sonavela::harmony {
namespace {

struct MoveCase {
  SpelledNote from;
  Interval interval;
  SpelledNote expected;
};

TEST(WholeTones, MovesLetterByLetterAndCorrectsSemitoneSteps) {
  const std::vector<MoveCase> cases{
      {N("E"), {1, 0}, N("F#")},    {N("B"), {1, 0}, N("C#")},      {N("E#"), {1, 0}, N("F##")},
      {N("C"), {1, 0}, N("D")},     {N("C"), {-1, 0}, N("Bb")},     {N("F"), {-1, 0}, N("Eb")},
      {N("Fb"), {-1, 0}, N("Ebb")}, {N("D"), {-1, 0}, N("C")},      {N("C"), {4, -1}, N("G")},
      {N("C"), {0, -1}, N("Cb")},   {N("C"), {2, -1}, N("Eb")},     {N("F"), {-4, 1}, N("Bb")},
      {N("A"), {-2, 1}, N("F#")},   {N("C"), {-2, 1}, N("A")},      {N("Gb"), {4, -1}, N("Db")},
      {N("B#"), {2, 0}, N("D##")},  {{' ', 0}, {3, -2}, {' ', -2}}, {{'x', 5}, {-2, 1}, {'x', 6}},
  };
  for (const MoveCase& c : cases) {
    EXPECT_EQ(MoveByWholeTones(c.from, c.interval), c.expected)
        << "from " << c.from.letter << c.from.accidental << " by (" << c.interval.steps << ", "
        << c.interval.delta << ")";
  }
}

TEST(WholeTones, SevenStepsUpComeBackOneWholeToneAboveAnOctave) {
  // Five whole tones and two corrected semitone steps: C to D an octave up.
  EXPECT_EQ(MoveByWholeTones(N("C"), {7, 0}), N("C##"));
  EXPECT_EQ(MoveByWholeTones(N("C"), {-7, 0}), N("Cbb"));
}

struct DegreeCase {
  Key key;
  std::vector<std::string> degrees;  // 1..7
};

TEST(DegreeRoot, SpellsTheScalesWithSevenConsecutiveLetters) {
  const std::vector<DegreeCase> cases{
      {Major("C"), {"C", "D", "E", "F", "G", "A", "B"}},
      {Minor("A"), {"A", "B", "C", "D", "E", "F", "G#"}},
      {Major("D#"), {"D#", "E#", "F##", "G#", "A#", "B#", "C##"}},
      {Minor("D#"), {"D#", "E#", "F#", "G#", "A#", "B", "C##"}},
      {Major("Gb"), {"Gb", "Ab", "Bb", "Cb", "Db", "Eb", "F"}},
      {Minor("Eb"), {"Eb", "F", "Gb", "Ab", "Bb", "Cb", "D"}},
  };
  for (const DegreeCase& c : cases) {
    for (int d = 1; d <= 7; ++d) {
      EXPECT_EQ(DegreeRoot(c.key, d), N(c.degrees[d - 1])) << "degree " << d;
    }
  }
}

TEST(DegreeRoot, FoldsDegreesAboveSevenOnly) {
  EXPECT_EQ(DegreeRoot(Major("C"), 8), N("C"));
  EXPECT_EQ(DegreeRoot(Major("C"), 9), N("D"));
  EXPECT_EQ(DegreeRoot(Major("C"), 11), N("F"));
  EXPECT_EQ(DegreeRoot(Major("C"), 14), N("B"));
  EXPECT_EQ(DegreeRoot(Minor("A"), 13), N("F"));
  EXPECT_EQ(DegreeRoot(Minor("A"), 14), N("G#"));
  // 0 is not folded: one whole tone down, no correction.
  EXPECT_EQ(DegreeRoot(Major("C"), 0), N("Bb"));
}

TEST(PitchClass, CountsSemitonesFromCWithAnySpelling) {
  const std::vector<std::pair<SpelledNote, int>> cases{
      {N("Cb"), 11}, {N("B#"), 0},  {N("C##"), 2}, {N("E#"), 5},    {{' ', 0}, 0},
      {N("G"), 7},   {N("Ab"), 8},  {N("F#"), 6},  {N("Dbb"), 0},   {{' ', -1}, 11},
      {{'Z', 3}, 3}, {N("Bb"), 10}, {N("E"), 4},   {{'A', 14}, 11},
  };
  for (const auto& [note, pc] : cases) {
    EXPECT_EQ(PitchClass(note), pc) << note.letter << note.accidental;
  }
}

TEST(PitchClass, StaysWithinAnOctaveForExtremeAccidentals) {
  for (const int accidental :
       {-61, -62, -72, -100, -1000, INT_MIN, INT_MIN + 1, INT_MAX, 1000, 61}) {
    for (const char letter : {'C', 'D', 'E', 'F', 'G', 'A', 'B', ' '}) {
      const int pc = PitchClass({letter, accidental});
      EXPECT_GE(pc, 0) << letter << accidental;
      EXPECT_LE(pc, 11) << letter << accidental;
    }
  }
  // Below -60 the answer is still the musical one: C lowered 61 times is B.
  EXPECT_EQ(PitchClass({'C', -61}), 11);
  EXPECT_EQ(PitchClass({'C', -72}), 0);
}

TEST(IsPlainNote, AcceptsTheSeventeenEverydaySpellingsOnly) {
  int plain = 0;
  for (const char letter : {'A', 'B', 'C', 'D', 'E', 'F', 'G', ' ', 'H'}) {
    for (int accidental = -3; accidental <= 3; ++accidental) {
      if (IsPlainNote({letter, accidental}))
        ++plain;
    }
  }
  EXPECT_EQ(plain, 17);
  for (const char* text : {"Gb", "A#", "Db", "C", "D", "E", "F", "G", "A", "B", "Bb", "F#"}) {
    EXPECT_TRUE(IsPlainNote(N(text))) << text;
  }
  for (const char* text : {"E#", "B#", "Cb", "Fb", "C##", "Dbb", "Gbb", "A##", " "}) {
    EXPECT_FALSE(IsPlainNote(N(text))) << text;
  }
}

}  // namespace
}  // namespace sonavela::harmony
