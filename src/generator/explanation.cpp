// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/explanation.h"

#include "generator/search.h"
#include "harmony/names.h"

namespace sonavela::generator {

using harmony::Key;

namespace {

// Right after a start no key is established yet; the tonic is heard in the
// home key.
Key Established(Key key, Key home) {
  return key.tonic.letter == ' ' ? home : key;
}

std::string Steps(std::int32_t count) {
  return std::to_string(count) + (count == 1 ? " step" : " steps");
}

}  // namespace

StepExplanation Explain(const ProgressionStep& step, const StepOrigin& origin, Key home) {
  StepExplanation explanation;
  explanation.step = step;
  explanation.home = home;
  const Key key = Established(step.key, home);
  explanation.numeral = harmony::RomanNumeral(key, step.chord);
  explanation.start = origin.source == StepOrigin::Source::kTonic;
  explanation.repeated = origin.source == StepOrigin::Source::kRepeat;
  explanation.stretchStart = origin.source == StepOrigin::Source::kStretch && origin.firstOfStretch;
  explanation.stepsAway = origin.source == StepOrigin::Source::kTonic ? 0 : origin.stepsAway;
  explanation.stepsLeft = ProgressionSearch::MaxDepth - 1 - explanation.stepsAway;
  const Key from = Established(origin.from, home);
  if (explanation.stretchStart && from != key) {
    explanation.pivot = Pivot{origin.pivot, from, key};
  }
  return explanation;
}

std::string PivotText(const Pivot& pivot) {
  return harmony::ChordName(pivot.chord) + ": " + harmony::RomanNumeral(pivot.from, pivot.chord) +
         " in " + harmony::KeyName(pivot.from) + " = " +
         harmony::RomanNumeral(pivot.to, pivot.chord) + " in " + harmony::KeyName(pivot.to);
}

std::string ExplanationText(const StepExplanation& explanation) {
  std::string text = explanation.numeral;
  if (explanation.repeated) {
    return text + "\tno rule continues: the chord repeats";
  }
  if (!explanation.stretchStart) {
    return text;
  }
  // Away from home the distance is told on every stretch; back home only
  // after a pivot, since a stretch that stays home changes nothing.
  const std::string where =
      explanation.stepsAway > 0
          ? Steps(explanation.stepsAway) + " away from " + harmony::KeyName(explanation.home) +
                ", " + std::to_string(explanation.stepsLeft) + " left before it must return"
          : "home";
  if (explanation.pivot) {
    return text + '\t' + PivotText(*explanation.pivot) + "; " + where;
  }
  return explanation.stepsAway > 0 ? text + '\t' + where : text;
}

void Excursion::Follow(const StepExplanation& explanation) {
  const Key key = Established(explanation.step.key, explanation.home);
  if (key == explanation.home || keys_.front() != explanation.home) {
    keys_.assign(1, explanation.home);  // back home, or a start from another home
  }
  if (keys_.back() != key) {
    keys_.push_back(key);
  }
  if (explanation.start) {
    lastPivot_.reset();
  }
  if (explanation.pivot) {
    lastPivot_ = explanation.pivot;
  }
  latest_ = explanation;
}

}  // namespace sonavela::generator
