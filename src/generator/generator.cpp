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
  const ProgressionStep tonic{homeKey_, harmony::BuildChordOnDegree(homeKey_, 1)};
  queue_.push_back(tonic);
  previousChord_ = harmony::Chord{};
  currentStep_ = tonic;
  // No key is established until the first stretch is planned.
  currentStep_.key.tonic.letter = ' ';
  stepsAway_ = 0;
}

ProgressionStep ProgressionGenerator::PopStep() {
  if (queue_.empty())
    return currentStep_;
  const ProgressionStep step = queue_.front();
  queue_.pop_front();
  return step;
}

void ProgressionGenerator::Advance() {
  if (!queue_.empty())
    return;
  const std::optional<Plan> plan =
      search_.Choose(Tables(), stepsAway_, previousChord_, currentStep_, random_);
  if (!plan) {
    // Nowhere to go: the progression repeats its chord until the next Start.
    queue_.push_back(currentStep_);
    return;
  }
  queue_.insert(queue_.end(), plan->Steps.begin(), plan->Steps.end());
  previousChord_ = currentStep_.chord;
  currentStep_ = plan->Steps.back();
  if (currentStep_.key == homeKey_) {
    stepsAway_ = 0;
  } else {
    stepsAway_ += static_cast<std::int32_t>(plan->Steps.size());
  }
}

void ProgressionGenerator::SetRandomState(std::uint32_t state) {
  random_.SetState(state);
}

SearchTables ProgressionGenerator::Tables() const {
  return {ConnectionRules(), SubstitutionRules(), homeKey_};
}

}  // namespace sonavela::generator
