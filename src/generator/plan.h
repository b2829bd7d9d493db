// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "harmony/chord.h"
#include "harmony/note.h"

namespace sonavela::generator {

// One chord of the progression with the key it is heard in.
struct ProgressionStep {
  harmony::Key key;
  harmony::Chord chord;

  friend bool operator==(const ProgressionStep&, const ProgressionStep&) = default;
};

// A candidate continuation: the chords after the pivot, and the product of
// the two rules' weights.
struct Plan {
  std::vector<ProgressionStep> Steps;
  std::int64_t Weight = 0;

  friend bool operator==(const Plan&, const Plan&) = default;
};

// The candidates of one search in the order they were found. The total is
// kept in 64 bits so that no table can overflow it.
struct PlanSet {
  std::vector<Plan> Plans;
  std::int64_t TotalWeight = 0;

  friend bool operator==(const PlanSet&, const PlanSet&) = default;
};

// Why a queued step is there: the stretch that planned it, as an explanation
// of what is played needs it.
struct StepOrigin {
  enum class Source : std::uint8_t {
    kTonic,    // the start of the progression
    kStretch,  // a chord of a chosen plan
    kRepeat,   // no rule continued, the chord is played again
  };
  Source source = Source::kTonic;
  // The first chord after the pivot.
  bool firstOfStretch = false;
  // The chord the stretch re-read, and the key it was heard in (blank letter
  // while no key was established).
  harmony::Chord pivot{};
  harmony::Key from{};
  std::size_t substitution = 0;  // the rules of the stretch, in their tables
  std::size_t connection = 0;
  // Steps planned away from home once the stretch is played; 0 when it lands
  // home.
  std::int32_t stepsAway = 0;

  friend bool operator==(const StepOrigin&, const StepOrigin&) = default;
};

// Steps are appended at the back and taken from the front.
using StepQueue = std::deque<ProgressionStep>;

}  // namespace sonavela::generator
