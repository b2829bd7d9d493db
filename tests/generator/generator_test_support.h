// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "generator/generator.h"
#include "generator/load_rules.h"
#include "generator/plan.h"
#include "generator/rules.h"
#include "generator/search.h"
#include "harmony/chord.h"
#include "harmony/names.h"
#include "test_notes.h"

namespace sonavela::generator {

// A table of rule lines.
template <typename Lines>
std::vector<std::string> ListLines(const Lines& rules) {
  return std::vector<std::string>(std::begin(rules), std::end(rules));
}

inline LoadReport LoadDefaults(ProgressionGenerator& generator, bool minorKey) {
  return LoadRules(generator, ListLines(DefaultConnectionRules),
                   ListLines(DefaultSubstitutionRules), minorKey);
}

inline SearchTables TablesOf(const ProgressionGenerator& generator) {
  return {generator.ConnectionRules(), generator.SubstitutionRules(), generator.HomeKey()};
}

// Every candidate of a search from (depth, previous, current) over the
// generator's tables. Pass the same `search` across calls to check that what
// its caches keep from earlier calls stays right.
inline PlanSet CollectFrom(const ProgressionGenerator& generator, std::int32_t depth,
                           const harmony::Chord& previous, const ProgressionStep& current,
                           ProgressionSearch& search) {
  return search.Collect(TablesOf(generator), depth, previous, current);
}

inline PlanSet CollectFrom(const ProgressionGenerator& generator, std::int32_t depth,
                           const harmony::Chord& previous, const ProgressionStep& current) {
  ProgressionSearch search;
  return CollectFrom(generator, depth, previous, current, search);
}

// The candidates the generator's next Advance chooses from.
inline PlanSet CollectPlans(const ProgressionGenerator& generator) {
  return CollectFrom(generator, generator.StepsAway(), generator.PreviousChord(),
                     generator.CurrentStep());
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
