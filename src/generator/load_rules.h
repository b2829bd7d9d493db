// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "generator/generator.h"
#include "generator/rule_file.h"

namespace sonavela::generator {

// What LoadRules could not take, for the front ends to report.
struct LoadReport {
  std::size_t shortConnectionLines = 0;  // too short for the parser: skipped
  std::size_t shortSubstitutionLines = 0;
  std::size_t ignoredConnectionRules = 0;  // beyond RuleCapacity: ignored
  std::size_t ignoredSubstitutionRules = 0;
  std::size_t cutConnectionChains = 0;  // longer than 19 degrees: cut to 19

  [[nodiscard]] bool Clean() const {
    return shortConnectionLines == 0 && shortSubstitutionLines == 0 &&
           ignoredConnectionRules == 0 && ignoredSubstitutionRules == 0 && cutConnectionChains == 0;
  }
};

// Empties the generator's tables, sets the home key (A minor when `minorKey`,
// else C major) and parses every line of both tables.
[[nodiscard]] LoadReport LoadRules(ProgressionGenerator& generator,
                                   std::span<const std::string> connectionLines,
                                   std::span<const std::string> substitutionLines, bool minorKey);

// The same for the tables of a rule file (see ParseRuleFile).
[[nodiscard]] LoadReport LoadRules(ProgressionGenerator& generator, const RuleTables& tables,
                                   bool minorKey);

}  // namespace sonavela::generator
