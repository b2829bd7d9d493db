#pragma once

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

// Steps are appended at the back and taken from the front.
using StepQueue = std::deque<ProgressionStep>;

}  // namespace sonavela::generator
