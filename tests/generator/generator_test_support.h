#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "generator/generator.h"
#include "generator/load_rules.h"
#include "generator/plan.h"
#include "generator/rules.h"
#include "harmony/chord.h"
#include "harmony/names.h"
#include "test_notes.h"

namespace sonavela::generator {

// The lines of a rule list as the dialog holds them: the rules, then the
// empty last line.
template <typename Lines>
std::vector<std::string> ListLines(const Lines& rules) {
  std::vector<std::string> lines(std::begin(rules), std::end(rules));
  lines.emplace_back();
  return lines;
}

inline LoadReport LoadDefaults(ProgressionGenerator& generator, bool minorKey) {
  return LoadRules(generator, ListLines(DefaultConnectionRules),
                   ListLines(DefaultSubstitutionRules), minorKey);
}

inline harmony::Chord Maj(std::string_view root) {
  return {harmony::N(root), harmony::kMajorTriad};
}
inline harmony::Chord Min(std::string_view root) {
  return {harmony::N(root), harmony::kMinorTriad};
}
inline harmony::Chord Dim(std::string_view root) {
  return {harmony::N(root), harmony::kDiminishedTriad};
}

inline ProgressionStep Step(harmony::Key key, harmony::Chord chord) {
  return {key, chord};
}

inline std::string Line(const ProgressionStep& step) {
  return harmony::FormatStepLine(step.key, step.chord);
}

inline void PrintTo(const ProgressionStep& step, std::ostream* os) {
  *os << '"' << Line(step) << '"';
}

inline void PrintTo(const Plan& plan, std::ostream* os) {
  *os << "{";
  for (const ProgressionStep& step : plan.Steps)
    *os << '"' << Line(step) << "\" ";
  *os << "w " << plan.Weight << "}";
}

inline void PrintTo(const PlanSet& set, std::ostream* os) {
  *os << set.Plans.size() << " plans, total " << set.TotalWeight << ":";
  for (const Plan& plan : set.Plans) {
    *os << " ";
    PrintTo(plan, os);
  }
}

}  // namespace sonavela::generator
