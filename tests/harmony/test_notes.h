// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "harmony/chord.h"
#include "harmony/names.h"
#include "harmony/note.h"

namespace sonavela::harmony {

// "C#", "Ebb", "G#": parsed so test tables read like music.
inline SpelledNote N(std::string_view text) {
  SpelledNote note{text.empty() ? ' ' : text[0], 0};
  for (std::size_t i = 1; i < text.size(); ++i) {
    note.accidental += text[i] == '#' ? 1 : (text[i] == 'b' ? -1 : 0);
  }
  return note;
}

inline Key Major(std::string_view tonic) {
  return {N(tonic), kMajor};
}
inline Key Minor(std::string_view tonic) {
  return {N(tonic), kMinor};
}

inline void PrintTo(const SpelledNote& note, std::ostream* os) {
  std::string text;
  AppendNoteName(text, note);
  *os << "'" << text << "' (" << note.accidental << ")";
}

inline void PrintTo(const Chord& chord, std::ostream* os) {
  *os << FormatStepLine(Key{{'-', 0}, kMajor}, chord).substr(6) << " [";
  for (const SpelledNote tone : ChordTones(chord)) {
    std::string text;
    AppendNoteName(text, tone);
    *os << text << ' ';
  }
  *os << "]";
}

}  // namespace sonavela::harmony
