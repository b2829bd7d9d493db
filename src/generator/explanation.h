// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "generator/plan.h"
#include "harmony/chord.h"
#include "harmony/note.h"

namespace sonavela::generator {

// A chord re-read from its degree in one key as a degree of another.
struct Pivot {
  harmony::Chord chord;
  harmony::Key from;
  harmony::Key to;
};

// What a played step means: its function in its key and, on the first chord
// of a stretch, how the progression got there and how far it has strayed.
struct StepExplanation {
  ProgressionStep step;
  harmony::Key home;
  std::string numeral;  // "vi", "bII", "?"
  // The tonic a start plays.
  bool start = false;
  // The first chord of a stretch: the pivot then lies just behind.
  bool stretchStart = false;
  // On a stretch start that changes key.
  std::optional<Pivot> pivot;
  // Planned away from home once the stretch is played, and how many more
  // steps the bound leaves before a stretch must land home.
  std::int32_t stepsAway = 0;
  std::int32_t stepsLeft = 0;
  // No rule continued: the chord is played again.
  bool repeated = false;
};

[[nodiscard]] StepExplanation Explain(const ProgressionStep& step, const StepOrigin& origin,
                                      harmony::Key home);

// What --explain writes after a result line, without the leading tab:
// "V\tDm: ii in C = iv in Am; 1 step away from C, 14 left before it must
// return".
[[nodiscard]] std::string ExplanationText(const StepExplanation& explanation);

// "Dm: ii in C = iv in Am".
[[nodiscard]] std::string PivotText(const Pivot& pivot);

// Where the progression has gone since it last left home: the keys of the
// excursion under way, from home to the key it is in now, each once per
// visit (only home while it is at home); the step played last and the last
// pivot since the start.
class Excursion {
 public:
  explicit Excursion(harmony::Key home) : keys_{home} {}
  void Follow(const StepExplanation& explanation);

  [[nodiscard]] harmony::Key Home() const { return keys_.front(); }
  [[nodiscard]] const std::vector<harmony::Key>& Keys() const { return keys_; }
  [[nodiscard]] const std::optional<StepExplanation>& Latest() const { return latest_; }
  [[nodiscard]] const std::optional<Pivot>& LastPivot() const { return lastPivot_; }

 private:
  std::vector<harmony::Key> keys_;
  std::optional<StepExplanation> latest_;
  std::optional<Pivot> lastPivot_;
};

}  // namespace sonavela::generator
