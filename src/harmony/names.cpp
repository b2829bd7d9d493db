// SPDX-License-Identifier: GPL-3.0-or-later
#include "harmony/names.h"

#include <array>
#include <string_view>

namespace sonavela::harmony {

void AppendNoteName(std::string& text, SpelledNote note) {
  text += note.letter;
  switch (note.accidental) {
    case 0:
      break;
    case 1:
      text += '#';
      break;
    case 2:
      text += "##";
      break;
    case -1:
      text += 'b';
      break;
    case -2:
      text += "bb";
      break;
    default:
      text += '?';
      break;
  }
}

namespace {

const char* ChordSuffix(const ChordType& type) {
  const std::int32_t third = type.tones[1].delta;
  const std::int32_t fifth = type.tones[2].delta;
  if (third == 0 && fifth == -1)
    return "";
  if (third == -1 && fifth == -1)
    return "m";
  if (third == -1 && fifth == -2)
    return "dim";
  return "?";
}

int LetterIndex(char letter) {
  switch (letter) {
    case 'C':
      return 0;
    case 'D':
      return 1;
    case 'E':
      return 2;
    case 'F':
      return 3;
    case 'G':
      return 4;
    case 'A':
      return 5;
    case 'B':
      return 6;
    default:
      return -1;
  }
}

}  // namespace

std::string RomanNumeral(Key key, const Chord& chord) {
  const std::string_view suffix = ChordSuffix(chord.type);
  const int root = LetterIndex(chord.root.letter);
  const int tonic = LetterIndex(key.tonic.letter);
  if (suffix == "?" || root < 0 || tonic < 0)
    return "?";
  const ScaleDegree degree = (root - tonic + 7) % 7 + 1;
  std::int32_t offset = chord.root.accidental - DegreeRoot(key, degree).accidental;
  // The minor scale here is the harmonic one; musicians read the subtonic
  // (G in A minor) as the natural seventh, not as a lowered one.
  if (key.mode == kMinor && degree == 7 && offset == -1)
    offset = 0;
  if (offset < -2 || offset > 2)
    return "?";
  std::string numeral(static_cast<std::size_t>(offset < 0 ? -offset : offset),
                      offset < 0 ? 'b' : '#');
  static constexpr std::array<std::string_view, 7> kUpper{"I", "II", "III", "IV", "V", "VI", "VII"};
  static constexpr std::array<std::string_view, 7> kLower{"i", "ii", "iii", "iv", "v", "vi", "vii"};
  numeral += (suffix.empty() ? kUpper : kLower)[static_cast<std::size_t>(degree - 1)];
  if (suffix == "dim")
    numeral += "°";
  return numeral;
}

std::string KeyName(Key key) {
  std::string name;
  AppendNoteName(name, key.tonic);
  if (key.mode == kMinor)
    name += 'm';
  return name;
}

std::string ChordName(const Chord& chord) {
  std::string name;
  AppendNoteName(name, chord.root);
  name += ChordSuffix(chord.type);
  return name;
}

std::string ChordToneNames(const Chord& chord) {
  std::string names;
  for (const SpelledNote tone : ChordTones(chord)) {
    if (!names.empty()) {
      names += ' ';
    }
    AppendNoteName(names, tone);
  }
  return names;
}

std::string FormatStepLine(Key key, const Chord& chord) {
  // Short enough for the string's own buffer: a real-time thread that plays
  // the chords makes its lines without allocating.
  std::string line = KeyName(key);
  while (line.size() < 4)
    line += ' ';
  line += ": ";
  AppendNoteName(line, chord.root);
  line += ChordSuffix(chord.type);
  return line;
}

}  // namespace sonavela::harmony
