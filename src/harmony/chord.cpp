// SPDX-License-Identifier: GPL-3.0-or-later
#include "harmony/chord.h"

namespace sonavela::harmony {

ToneList ChordTones(const Chord& chord) {
  ToneList tones;
  for (const Interval& interval : chord.type.tones) {
    if (interval.steps < 0)
      break;
    tones.push_back(MoveByWholeTones(chord.root, interval));
  }
  return tones;
}

bool ChordFitsKey(Key key, ScaleDegree degree, const Chord& chord) {
  const ToneList tones = ChordTones(chord);
  for (const ScaleDegree offset : {0, 2, 4}) {
    const SpelledNote wanted = DegreeRoot(key, degree + offset);
    bool found = false;
    for (const SpelledNote tone : tones) {
      if (tone.letter == ' ')
        break;
      if (tone == wanted) {
        found = true;
        break;
      }
    }
    if (!found)
      return false;
  }
  return true;
}

ScaleDegree DegreeOfChord(Key key, const Chord& chord) {
  for (ScaleDegree degree = 1; degree <= 7; ++degree) {
    if (ChordFitsKey(key, degree, chord))
      return degree;
  }
  return 0;
}

bool ChordsEqual(const Chord& a, const Chord& b) {
  if (a.root != b.root)
    return false;
  for (std::size_t i = 0; i < kToneSlots; ++i) {
    const Interval x = a.type.tones[i];
    const Interval y = b.type.tones[i];
    if (x.steps < 0 && y.steps < 0)
      return true;
    if (x != y)
      return false;
  }
  return true;
}

Chord BuildChordOnDegree(Key key, ScaleDegree degree) {
  const SpelledNote root = DegreeRoot(key, degree);
  for (const ChordType& type : ChordTypeTable) {
    const Chord chord{root, type};
    if (ChordFitsKey(key, degree, chord))
      return chord;
  }
  return Chord{{' ', root.accidental}, kEndRow};
}

}  // namespace sonavela::harmony
