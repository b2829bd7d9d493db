// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harmony/names.h"
#include "test_notes.h"

namespace sonavela::harmony {
namespace {

TEST(AppendNoteName, WritesLetterThenAccidentalText) {
  const std::vector<std::pair<SpelledNote, std::string>> cases{
      {{'C', 0}, "C"},  {{'F', 1}, "F#"},  {{'C', 2}, "C##"}, {{'E', -1}, "Eb"}, {{'B', -2}, "Bbb"},
      {{'B', 3}, "B?"}, {{'G', -3}, "G?"}, {{' ', 0}, " "},   {{' ', -1}, " b"}, {{'x', 0}, "x"},
  };
  for (const auto& [note, text] : cases) {
    std::string out = ">";
    AppendNoteName(out, note);
    EXPECT_EQ(out, ">" + text);
  }
}

Chord WithDeltas(SpelledNote root, int third, int fifth) {
  Chord chord{root, kMajorTriad};
  chord.type.tones[1].delta = third;
  chord.type.tones[2].delta = fifth;
  return chord;
}

TEST(FormatStepLine, MatchesTheResultLinesByteForByte) {
  struct Case {
    Key key;
    Chord chord;
    std::string line;
  };
  const std::vector<Case> cases{
      {Major("C"), {N("C"), kMajorTriad}, "C   : C"},
      {Major("C"), {N("D"), kMinorTriad}, "C   : Dm"},
      {Minor("A"), {N("B"), kDiminishedTriad}, "Am  : Bdim"},
      {Minor("A"), {N("E"), kMajorTriad}, "Am  : E"},
      {Minor("F#"), {N("C#"), kMajorTriad}, "F#m : C#"},
      {Minor("Eb"), {N("Cb"), kMajorTriad}, "Ebm : Cb"},
      {Major("D#"), {N("C##"), kDiminishedTriad}, "D#  : C##dim"},
      {Minor("A"), {{' ', 0}, kEndRow}, "Am  :  ?"},
      {Minor("Eb"), {{' ', -1}, kEndRow}, "Ebm :  b?"},
      {Key{{'B', 3}, kMajor}, {N("B"), kMajorTriad}, "B?  : B"},
      {Minor("A#"), {N("E#"), kMajorTriad}, "A#m : E#"},
      {Minor("D##"), {N("A##"), kMajorTriad}, "D##m: A##"},
      {Key{{' ', 0}, kMajor}, {N("C"), kMajorTriad}, "    : C"},
      {Key{{' ', 0}, kMinor}, {N("A"), kMinorTriad}, " m  : Am"},
      {Major("C"), WithDeltas(N("C"), 0, -2), "C   : C?"},
      {Major("C"), WithDeltas(N("C"), 0, 0), "C   : C?"},
      {Major("C"), WithDeltas(N("C"), -1, 0), "C   : C?"},
      {Major("C"), WithDeltas(N("C"), 1, -1), "C   : C?"},
      {Major("C"), WithDeltas(N("Bb"), 1, 0), "C   : Bb?"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatStepLine(c.key, c.chord), c.line);
}

TEST(FormatStepLine, ReadsOnlyTheDeltasOfThirdAndFifth) {
  Chord chord{N("A"), kMinorTriad};
  chord.type.tones[1].steps = 9;
  chord.type.tones[2].steps = -3;
  chord.type.tones[3] = {5, 5};
  chord.type.kind = -1;
  EXPECT_EQ(FormatStepLine(Major("C"), chord), "C   : Am");
}

TEST(RomanNumeral, WritesDegreeCaseAndAlterationAsMusiciansDo) {
  struct Case {
    Key key;
    Chord chord;
    std::string numeral;
  };
  const std::vector<Case> cases{
      {Major("C"), {N("A"), kMinorTriad}, "vi"},
      {Major("C"), {N("A"), kMajorTriad}, "VI"},  // "M" on the sixth degree
      {Major("C"), {N("F"), kMinorTriad}, "iv"},  // "m" on the fourth
      {Major("C"), {N("B"), kDiminishedTriad}, "vii°"},
      {Major("C"), {N("Db"), kMajorTriad}, "bII"},  // "n" in a major key
      {Major("C"), {N("Bb"), kMajorTriad}, "bVII"},
      {Major("C"), {N("F#"), kDiminishedTriad}, "#iv°"},
      {Minor("A"), {N("Bb"), kMajorTriad}, "bII"},  // the Neapolitan
      {Minor("A"), {N("E"), kMajorTriad}, "V"},
      {Minor("A"), {N("G#"), kDiminishedTriad}, "vii°"},
      {Minor("A"), {N("G"), kMajorTriad}, "VII"},  // the natural minor's seventh
      {Minor("A"), {N("C"), kMajorTriad}, "III"},
      {Minor("A"), {N("A"), kMajorTriad}, "I"},
      {Major("Gb"), {N("Cb"), kMajorTriad}, "IV"},
      {Minor("D#"), {N("C##"), kDiminishedTriad}, "vii°"},
      {Major("C"), {N("C##"), kMajorTriad}, "##I"},
      {Major("C"), {N("B"), WithDeltas(N("B"), 0, -2).type}, "?"},  // B D# F
      {Major("C"), WithDeltas(N("C"), 0, 0), "?"},                  // augmented
      {Minor("A"), {{' ', 0}, kEndRow}, "?"},
      {Key{{' ', 0}, kMajor}, {N("C"), kMajorTriad}, "?"},
      {Major("C"), {{'C', 3}, kMajorTriad}, "?"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RomanNumeral(c.key, c.chord), c.numeral) << FormatStepLine(c.key, c.chord);
}

}  // namespace
}  // namespace sonavela::harmony
