// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "harmony/chord.h"
#include "harmony/names.h"
#include "test_notes.h"

namespace sonavela::harmony {
namespace {

Chord Triad(std::string_view root, const ChordType& type) {
  return {N(root), type};
}

// The 16 major keys from G flat to D sharp by fifths, each with its relative minor.
const std::array<std::pair<const char*, const char*>, 16> kCircle{{
    {"Gb", "Eb"},
    {"Db", "Bb"},
    {"Ab", "F"},
    {"Eb", "C"},
    {"Bb", "G"},
    {"F", "D"},
    {"C", "A"},
    {"G", "E"},
    {"D", "B"},
    {"A", "F#"},
    {"E", "C#"},
    {"B", "G#"},
    {"F#", "D#"},
    {"C#", "A#"},
    {"G#", "E#"},
    {"D#", "B#"},
}};

std::vector<Key> CandidateKeys() {
  std::vector<Key> keys;
  for (const auto& [major, minor] : kCircle) {
    keys.push_back(Major(major));
    keys.push_back(Minor(minor));
  }
  return keys;
}

TEST(ChordTones, FollowTheTypeUpToTheFirstNegativeStep) {
  const ToneList major = ChordTones(Triad("C", kMajorTriad));
  ASSERT_EQ(major.size(), 3u);
  EXPECT_EQ(major[0], N("C"));
  EXPECT_EQ(major[1], N("E"));
  EXPECT_EQ(major[2], N("G"));

  const ToneList dim = ChordTones(Triad("G#", kDiminishedTriad));
  ASSERT_EQ(dim.size(), 3u);
  EXPECT_EQ(dim[1], N("B"));
  EXPECT_EQ(dim[2], N("D"));

  // The end row has no negative steps: five tones, all the root.
  const ToneList empty = ChordTones(Chord{{' ', 0}, kEndRow});
  ASSERT_EQ(empty.size(), 5u);
  for (const SpelledNote tone : empty)
    EXPECT_EQ(tone, (SpelledNote{' ', 0}));

  ChordType none = kMajorTriad;
  none.tones[0].steps = -1;
  EXPECT_TRUE(ChordTones(Chord{N("C"), none}).empty());
}

TEST(ChordFitsKey, AsksForTheKeysOwnSpelledTriad) {
  struct Case {
    Key key;
    ScaleDegree degree;
    Chord chord;
    bool fits;
  };
  const std::vector<Case> cases{
      {Major("C"), 1, Triad("C", kMajorTriad), true},
      {Major("C"), 1, Triad("C", kMinorTriad), false},
      {Minor("A"), 5, Triad("E", kMajorTriad), true},
      {Minor("A"), 5, Triad("E", kMinorTriad), false},
      {Major("C"), 1, Triad("B#", kMajorTriad), false},
      {Major("C"), 8, Triad("C", kMajorTriad), true},
      {Major("C"), 7, Triad("B", kDiminishedTriad), true},
      {Minor("A"), 3, Triad("C", kMajorTriad), false},
      {Major("C"), 1, Chord{{' ', 0}, kEndRow}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChordFitsKey(c.key, c.degree, c.chord), c.fits)
        << FormatStepLine(c.key, c.chord) << " degree " << c.degree;
  }
}

TEST(ChordFitsKey, ATypeWithoutTonesFitsNothing) {
  ChordType none = kMajorTriad;
  none.tones[0] = {-1, 0};
  for (const Key& key : CandidateKeys()) {
    for (ScaleDegree d = 1; d <= 7; ++d) {
      EXPECT_FALSE(ChordFitsKey(key, d, Chord{DegreeRoot(key, d), none}));
    }
  }
}

TEST(ChordFitsKey, AcceptsExtraTonesButStopsAtABlankTone) {
  // A fourth tone does not hide the triad...
  ChordType seventh = kMajorTriad;
  seventh.tones[3] = {6, -1};  // B from C
  EXPECT_TRUE(ChordFitsKey(Major("C"), 1, Chord{N("C"), seventh}));
  // ...but the look-up stops at a tone whose letter is blank.
  EXPECT_FALSE(ChordFitsKey(Major("C"), 1, Chord{{' ', 0}, kMajorTriad}));
}

TEST(DegreeOfChord, FindsTheFirstDegreeWhoseTriadFits) {
  EXPECT_EQ(DegreeOfChord(Major("G"), Triad("C", kMajorTriad)), 4);
  EXPECT_EQ(DegreeOfChord(Major("G"), Triad("G", kMajorTriad)), 1);
  EXPECT_EQ(DegreeOfChord(Minor("A"), Triad("C", kMajorTriad)), 0);
  EXPECT_EQ(DegreeOfChord(Minor("A"), Triad("G#", kDiminishedTriad)), 7);
  EXPECT_EQ(DegreeOfChord(Major("C"), Chord{{' ', 0}, kEndRow}), 0);
}

TEST(ChordsEqual, ComparesRootsAndToneListsButNotKind) {
  const Chord c = Triad("C", kMajorTriad);
  EXPECT_TRUE(ChordsEqual(c, c));
  EXPECT_FALSE(ChordsEqual(c, Triad("C", kMinorTriad)));
  EXPECT_FALSE(ChordsEqual(c, Triad("B#", kMajorTriad)));
  EXPECT_FALSE(ChordsEqual(c, Triad("Cb", kMajorTriad)));

  Chord otherKind = c;
  otherKind.type.kind = 7;
  EXPECT_TRUE(ChordsEqual(c, otherKind));

  // Both lists end at the fourth slot: what follows, and the exact negative
  // values, do not count.
  Chord otherEnd = c;
  otherEnd.type.tones[3] = {-5, 9};
  otherEnd.type.tones[4] = {3, 3};
  EXPECT_TRUE(ChordsEqual(c, otherEnd));

  // One list ending where the other goes on makes them different.
  Chord longer = c;
  longer.type.tones[3] = {6, -1};
  EXPECT_FALSE(ChordsEqual(c, longer));

  EXPECT_TRUE(ChordsEqual(Chord{{' ', -1}, kEndRow}, Chord{{' ', -1}, kEndRow}));
  EXPECT_FALSE(ChordsEqual(Chord{{' ', -1}, kEndRow}, Chord{{' ', 0}, kEndRow}));
}

TEST(BuildChordOnDegree, GivesTheSpecifiedExamples) {
  EXPECT_EQ(BuildChordOnDegree(Major("C"), 7), Triad("B", kDiminishedTriad));
  EXPECT_EQ(BuildChordOnDegree(Minor("A"), 5), Triad("E", kMajorTriad));
  EXPECT_EQ(BuildChordOnDegree(Minor("A"), 7), Triad("G#", kDiminishedTriad));
  EXPECT_EQ(BuildChordOnDegree(Major("D#"), 7), Triad("C##", kDiminishedTriad));
  EXPECT_EQ(BuildChordOnDegree(Minor("A"), 3), (Chord{{' ', 0}, kEndRow}));
  EXPECT_EQ(BuildChordOnDegree(Minor("Eb"), 3), (Chord{{' ', -1}, kEndRow}));
  EXPECT_EQ(BuildChordOnDegree(Major("C"), 8), BuildChordOnDegree(Major("C"), 1));
  EXPECT_EQ(BuildChordOnDegree(Major("C"), 8), Triad("C", kMajorTriad));
}

int LetterIndex(char letter) {
  return std::string_view("CDEFGAB").find(letter);
}

TEST(KeySweep, EveryCandidateKeySpellsItsScaleAndDiatonicChords) {
  const std::array<int, 7> majorSteps{0, 2, 4, 5, 7, 9, 11};
  const std::array<int, 7> minorSteps{0, 2, 3, 5, 7, 8, 11};
  const std::array<const ChordType*, 7> majorChords{&kMajorTriad,     &kMinorTriad, &kMinorTriad,
                                                    &kMajorTriad,     &kMajorTriad, &kMinorTriad,
                                                    &kDiminishedTriad};
  const std::array<const ChordType*, 7> minorChords{
      &kMinorTriad, &kDiminishedTriad, nullptr,          &kMinorTriad,
      &kMajorTriad, &kMajorTriad,      &kDiminishedTriad};
  for (const Key& key : CandidateKeys()) {
    const bool minor = key.mode == kMinor;
    const int tonicPc = PitchClass(key.tonic);
    for (int d = 1; d <= 7; ++d) {
      const SpelledNote root = DegreeRoot(key, d);
      SCOPED_TRACE(FormatStepLine(key, Chord{root, kMajorTriad}) + " degree " + std::to_string(d));
      ASSERT_GE(LetterIndex(root.letter), 0);
      EXPECT_EQ(LetterIndex(root.letter), (LetterIndex(key.tonic.letter) + d - 1) % 7);
      EXPECT_EQ(PitchClass(root), (tonicPc + (minor ? minorSteps : majorSteps)[d - 1]) % 12);

      const Chord chord = BuildChordOnDegree(key, d);
      const ChordType* expected = (minor ? minorChords : majorChords)[d - 1];
      if (expected == nullptr) {
        EXPECT_EQ(chord.root.letter, ' ');
        EXPECT_EQ(chord.root.accidental, root.accidental);
        EXPECT_EQ(chord.type, kEndRow);
      } else {
        EXPECT_EQ(chord, (Chord{root, *expected}));
        EXPECT_EQ(DegreeOfChord(key, chord), d);
      }
    }
    const std::string line = FormatStepLine(key, BuildChordOnDegree(key, 1));
    EXPECT_EQ(line.substr(4, 2), ": ") << line;
  }
}

}  // namespace
}  // namespace sonavela::harmony
