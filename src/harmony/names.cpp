#include "harmony/names.h"

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

}  // namespace

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
  std::string line = KeyName(key);
  line.reserve(16);
  while (line.size() < 4)
    line += ' ';
  line += ": ";
  AppendNoteName(line, chord.root);
  line += ChordSuffix(chord.type);
  return line;
}

}  // namespace sonavela::harmony
