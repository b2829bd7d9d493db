// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the plugin's tests read from the tests' LV2 host: the MIDI output
// grouped by frame, chord by chord, and the bytes a chord must have.
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "lv2_host.h"

namespace sonavela::plugin::testing {

using Bytes = std::vector<std::uint8_t>;
using Notes = std::vector<int>;

inline const Bytes kSilence{0xB0, 0x7B, 0x00};
inline constexpr std::int64_t kChordOfOneBeat = 24000;  // 120 BPM at 48 kHz
inline constexpr Position kBar1{0, 0.0, 120.0, 1.0};
inline constexpr Position kStoppedAtBar1{0, 0.0, 120.0, 0.0};

// Everything that came out at one frame: a chord with what precedes it, or
// the all-notes-off of a stop.
struct Group {
  std::int64_t frame = 0;
  std::vector<Bytes> messages;

  friend bool operator==(const Group&, const Group&) = default;
};

std::ostream& operator<<(std::ostream& out, const Group& group);
void PrintTo(const LogRecord& record, std::ostream* out);

// Without the note-offs, which PluginNotes.EndByTheirOwnNoteOffs checks.
[[nodiscard]] std::vector<Group> Groups(const Lv2Host& host);
// The note-ons of the first `count` chords at or after `from`, in the order
// they were sent.
[[nodiscard]] std::vector<Notes> Chords(const Lv2Host& host, std::int64_t from, std::size_t count);

// A start from bar 1: the program change and the silences before the chord.
[[nodiscard]] std::vector<Bytes> FreshStart(int instrument, const Notes& notes);
[[nodiscard]] std::vector<Bytes> NextChord(const Notes& notes);

// Seed 1, C major, the default tables: the progression that "chord k" of the
// tests refers to.
[[nodiscard]] const std::vector<Notes>& DefaultProgression();

// A transport that stands at bar 1 from the first cycle and rolls at
// `frame`: the controls are read before the start.
void RollAt(Lv2Host& host, std::int64_t frame);

void WriteFile(const std::filesystem::path& path, const std::string& text);

// The default tables with three weights changed: another progression from
// the sixth chord on for seed 7, from the second for seed 5 in A minor.
extern const std::string kOwnRules;

}  // namespace sonavela::plugin::testing
