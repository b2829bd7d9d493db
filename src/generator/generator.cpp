// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/generator.h"

namespace sonavela::generator {

ProgressionGenerator::ProgressionGenerator() {
  Reset();
}

void ProgressionGenerator::ClearRules() {
  connectionCount_ = 0;
  substitutionCount_ = 0;
  search_.Invalidate();
}

bool ProgressionGenerator::AddConnectionRule(const ConnectionRule& rule) {
  if (connectionCount_ >= RuleCapacity)
    return false;
  connectionRules_[connectionCount_++] = rule;
  search_.Invalidate();
  return true;
}

bool ProgressionGenerator::AddSubstitutionRule(const SubstitutionRule& rule) {
  if (substitutionCount_ >= RuleCapacity)
    return false;
  substitutionRules_[substitutionCount_++] = rule;
  search_.Invalidate();
  return true;
}

void ProgressionGenerator::SetHomeKey(harmony::Key key) {
  homeKey_ = key;
  search_.Invalidate();
}

void ProgressionGenerator::Reset() {
  queue_.clear();
  origins_.clear();
  const ProgressionStep tonic{homeKey_, harmony::BuildChordOnDegree(homeKey_, 1)};
  queue_.push_back(tonic);
  origins_.push_back(StepOrigin{});
  previousChord_ = harmony::Chord{};
  currentStep_ = tonic;
  // No key is established until the first stretch is planned.
  currentStep_.key.tonic.letter = ' ';
  stepsAway_ = 0;
}

ProgressionStep ProgressionGenerator::PopStep() {
  if (queue_.empty()) {
    popped_ = StepOrigin{StepOrigin::Source::kRepeat};
    return currentStep_;
  }
  const ProgressionStep step = queue_.front();
  queue_.pop_front();
  popped_ = origins_.front();
  origins_.pop_front();
  return step;
}

void ProgressionGenerator::Advance() {
  if (!queue_.empty())
    return;
  const std::optional<RuledPlan> chosen =
      search_.Choose(Tables(), stepsAway_, previousChord_, currentStep_, random_);
  if (!chosen) {
    // Nowhere to go: the progression repeats its chord until the next Start.
    queue_.push_back(currentStep_);
    StepOrigin repeat = popped_;
    repeat.source = StepOrigin::Source::kRepeat;
    repeat.firstOfStretch = false;
    origins_.push_back(repeat);
    return;
  }
  const std::vector<ProgressionStep>& steps = chosen->plan.Steps;
  queue_.insert(queue_.end(), steps.begin(), steps.end());
  StepOrigin origin{StepOrigin::Source::kStretch, true,
                    currentStep_.chord,           currentStep_.key,
                    chosen->substitution,         chosen->connection};
  previousChord_ = currentStep_.chord;
  currentStep_ = steps.back();
  if (currentStep_.key == homeKey_) {
    stepsAway_ = 0;
  } else {
    stepsAway_ += static_cast<std::int32_t>(steps.size());
  }
  origin.stepsAway = stepsAway_;
  origins_.push_back(origin);
  origin.firstOfStretch = false;
  origins_.insert(origins_.end(), steps.size() - 1, origin);
}

void ProgressionGenerator::SetRandomState(std::uint32_t state) {
  random_.SetState(state);
}

SearchTables ProgressionGenerator::Tables() const {
  return {ConnectionRules(), SubstitutionRules(), homeKey_};
}

}  // namespace sonavela::generator
