// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"
#include "timing/chord_clock.h"

namespace sonavela::timing {

// Whose time the chords follow.
enum class SyncSource { kInternal, kJack, kMidiClock, kLink };
// Their names, in the order above.
inline constexpr std::array<std::string_view, 4> kSyncSourceNames{"internal", "jack", "midi-clock",
                                                                  "link"};

// How a progression keeps time, as the user sets it: the tempo and the beats
// of a chord, the master to follow (the tempo is only proposed to one that
// has none), the MIDI input a MIDI clock comes from, and whether the program
// sends MIDI clock of its own. The defaults keep a chord every two seconds.
struct SyncSettings {
  double tempo = kDefaultTempo;
  int beatsPerChord = kDefaultBeatsPerChord;
  SyncSource source = SyncSource::kInternal;
  std::string clockInput;
  bool clockOut = false;

  [[nodiscard]] Meter GridMeter() const { return Meter::FromTempo(tempo, beatsPerChord); }
  friend bool operator==(const SyncSettings&, const SyncSettings&) = default;
};

// The clock a progression follows, or why there is none.
using ClockChoice = Result<std::unique_ptr<ChordClock>>;

}  // namespace sonavela::timing
