// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "generator/plan.h"

namespace sonavela::playback {

inline constexpr int kInstrumentAtStart = 49;

// What a start plays first: the instrument and the tonic of the home key.
struct Opening {
  int instrument = kInstrumentAtStart;
  generator::ProgressionStep step;
};

// Where the chords of a progression come from: this program's own generator,
// searching on the thread that plays, or a search done elsewhere (a plugin
// host's worker) that hands over what it found. Only plain values cross, so
// a real-time thread can play them.
class ChordSource {
 public:
  virtual ~ChordSource() = default;

  // A start: the progression begins afresh from what the front end set.
  [[nodiscard]] virtual Opening Begin() = 0;
  // The chord after the one handed over last; nothing while it is still
  // being searched for.
  [[nodiscard]] virtual std::optional<generator::ProgressionStep> Next() = 0;
  // The chord handed over last has sounded: the search for the one after it
  // may take its time now.
  virtual void Played() = 0;
};

}  // namespace sonavela::playback
