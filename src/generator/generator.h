// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Public surface that the playback layer relies on; the generator layer owns
// the rest of this file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "generator/plan.h"
#include "generator/random_source.h"
#include "generator/rules.h"
#include "generator/search.h"
#include "harmony/chord.h"
#include "harmony/note.h"

namespace sonavela::generator {

// The engine of the progression: the rule tables, the home key, the queue of
// planned steps and the little state the next search starts from.
class ProgressionGenerator {
 public:
  static constexpr std::int32_t MaxDepth = ProgressionSearch::MaxDepth;

  ProgressionGenerator();  // C major, no rules, the tonic step queued

  void ClearRules();
  // False (and nothing stored) when the table already holds RuleCapacity rules.
  [[nodiscard]] bool AddConnectionRule(const ConnectionRule& rule);
  [[nodiscard]] bool AddSubstitutionRule(const SubstitutionRule& rule);
  void SetHomeKey(harmony::Key key);

  void Reset();
  [[nodiscard]] ProgressionStep PopStep();  // CurrentStep when the queue is empty
  // Why the step PopStep returned last was planned.
  [[nodiscard]] const StepOrigin& PoppedOrigin() const { return popped_; }
  void Advance();

  // Initial state of the random source (1 at program start). Never reseeded
  // by Reset.
  void SetRandomState(std::uint32_t state);
  [[nodiscard]] std::uint32_t RandomState() const { return random_.State(); }

  [[nodiscard]] harmony::Key HomeKey() const { return homeKey_; }
  [[nodiscard]] const harmony::Chord& PreviousChord() const { return previousChord_; }
  [[nodiscard]] const ProgressionStep& CurrentStep() const { return currentStep_; }
  [[nodiscard]] std::int32_t StepsAway() const { return stepsAway_; }
  [[nodiscard]] const StepQueue& Queue() const { return queue_; }

  [[nodiscard]] std::span<const ConnectionRule> ConnectionRules() const {
    return {connectionRules_.data(), connectionCount_};
  }
  [[nodiscard]] std::span<const SubstitutionRule> SubstitutionRules() const {
    return {substitutionRules_.data(), substitutionCount_};
  }

  // What the search's caches hold, for the benchmarks' memory figures.
  [[nodiscard]] SearchCacheFigures SearchCache() const { return search_.CacheFigures(); }

 private:
  [[nodiscard]] SearchTables Tables() const;

  std::array<ConnectionRule, RuleCapacity> connectionRules_{};
  std::size_t connectionCount_ = 0;
  std::array<SubstitutionRule, RuleCapacity> substitutionRules_{};
  std::size_t substitutionCount_ = 0;
  harmony::Key homeKey_{{'C', 0}, harmony::kMajor};
  StepQueue queue_;
  std::deque<StepOrigin> origins_;  // one for each queued step
  StepOrigin popped_{};
  harmony::Chord previousChord_{};
  ProgressionStep currentStep_{};
  std::int32_t stepsAway_ = 0;
  RandomSource random_;
  ProgressionSearch search_;
};

}  // namespace sonavela::generator
