// SPDX-License-Identifier: GPL-3.0-or-later
#include "harmony/note.h"

#include <cstdint>

namespace sonavela::harmony {

SpelledNote WholeToneUp(SpelledNote note) {
  switch (note.letter) {
    case 'C':
      return {'D', note.accidental};
    case 'D':
      return {'E', note.accidental};
    case 'E':
      return {'F', note.accidental + 1};
    case 'F':
      return {'G', note.accidental};
    case 'G':
      return {'A', note.accidental};
    case 'A':
      return {'B', note.accidental};
    case 'B':
      return {'C', note.accidental + 1};
    default:
      return note;
  }
}

SpelledNote WholeToneDown(SpelledNote note) {
  switch (note.letter) {
    case 'C':
      return {'B', note.accidental - 1};
    case 'D':
      return {'C', note.accidental};
    case 'E':
      return {'D', note.accidental};
    case 'F':
      return {'E', note.accidental - 1};
    case 'G':
      return {'F', note.accidental};
    case 'A':
      return {'G', note.accidental};
    case 'B':
      return {'A', note.accidental};
    default:
      return note;
  }
}

SpelledNote MoveByWholeTones(SpelledNote note, Interval interval) {
  for (std::int32_t i = 0; i < interval.steps; ++i)
    note = WholeToneUp(note);
  for (std::int32_t i = 0; i > interval.steps; --i)
    note = WholeToneDown(note);
  note.accidental += interval.delta;
  return note;
}

SpelledNote DegreeRoot(Key key, ScaleDegree degree) {
  if (degree > 7)
    degree = (degree - 1) % 7 + 1;
  std::int32_t delta = 0;
  if (key.mode == kMinor) {
    if (degree < 3) {
      delta = 0;
    } else if (degree == 6) {
      delta = -2;
    } else {
      delta = -1;
    }
  } else {
    delta = degree < 4 ? 0 : -1;
  }
  return MoveByWholeTones(key.tonic, {degree - 1, delta});
}

namespace {

constexpr int NaturalPitch(char letter) {
  switch (letter) {
    case 'C':
      return 0;
    case 'D':
      return 2;
    case 'E':
      return 4;
    case 'F':
      return 5;
    case 'G':
      return 7;
    case 'A':
      return 9;
    case 'B':
      return 11;
    default:
      return 0;
  }
}

}  // namespace

int PitchClass(SpelledNote note) {
  // Wide arithmetic and a floored remainder keep the result in 0..11 even for
  // accidentals far below -60.
  const std::int64_t pitch = std::int64_t{NaturalPitch(note.letter)} + note.accidental;
  return static_cast<int>(((pitch % 12) + 12) % 12);
}

bool IsPlainNote(SpelledNote note) {
  switch (note.letter) {
    case 'C':
    case 'F':
      return note.accidental == 0 || note.accidental == 1;
    case 'D':
    case 'G':
    case 'A':
      return note.accidental >= -1 && note.accidental <= 1;
    case 'E':
    case 'B':
      return note.accidental == -1 || note.accidental == 0;
    default:
      return false;
  }
}

}  // namespace sonavela::harmony
