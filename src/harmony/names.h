// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "harmony/chord.h"
#include "harmony/note.h"

namespace sonavela::harmony {

// Appends the letter (whatever it is) and "#", "##", "b", "bb", or "?" for
// any other non-zero accidental.
void AppendNoteName(std::string& text, SpelledNote note);

// The key as a result line writes it: "C", "Ebm", "F#".
[[nodiscard]] std::string KeyName(Key key);

// The chord as a result line writes it: "Am", "Bdim", "Eb?".
[[nodiscard]] std::string ChordName(const Chord& chord);

// Its tones, spelled, from the root up: "B D# F".
[[nodiscard]] std::string ChordToneNames(const Chord& chord);

// The chord's Roman numeral in the key, as musicians write it: the degree of
// its root letter, "b" or "#" where the root is lowered or raised against the
// scale (the natural minor's in a minor key, whose seventh may be either),
// upper case for major, lower case for minor, "°" after a diminished triad:
// "vi", "V", "bII", "vii°". Any other shape, and the empty chord, is "?".
[[nodiscard]] std::string RomanNumeral(Key key, const Chord& chord);

// "C   : Am": the key padded to four columns, ": ", the chord name with its
// suffix ("", "m", "dim", or "?" for any other shape).
[[nodiscard]] std::string FormatStepLine(Key key, const Chord& chord);

}  // namespace sonavela::harmony
