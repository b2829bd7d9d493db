// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Randomly made rule tables for comparing the search with its literal form:
// mostly sensible rules, with a share of the odd ones a user can type
// (weight 0 or negative, degree digits 0, 8 and 9, unknown modes and
// corrections, chains of one degree).

#include <random>
#include <vector>

#include "generator/rules.h"

namespace sonavela::generator::testing {

struct RandomTables {
  std::vector<ConnectionRule> connection;
  std::vector<SubstitutionRule> substitution;
};

class RandomTableMaker {
 public:
  explicit RandomTableMaker(std::uint32_t seed) : rng_(seed) {}

  RandomTables Make(int connections, int substitutions) {
    RandomTables tables;
    for (int i = 0; i < connections; ++i)
      tables.connection.push_back(Connection());
    for (int i = 0; i < substitutions; ++i)
      tables.substitution.push_back(Substitution());
    return tables;
  }

  // The default tables, each rule kept with probability 3/4 and its weight
  // redrawn now and then, plus `extra` random rules of each kind: tables that
  // lead somewhere, with odd rules in them.
  RandomTables MakeFromDefaults(int extraConnections, int extraSubstitutions) {
    RandomTables tables;
    for (const auto line : DefaultConnectionRules) {
      if (Uniform(0, 3) == 0)
        continue;
      ConnectionRule rule = *ParseConnectionRule(line);
      if (Uniform(0, 4) == 0)
        rule.Weight = Weight();
      tables.connection.push_back(rule);
    }
    for (const auto line : DefaultSubstitutionRules) {
      if (Uniform(0, 3) == 0)
        continue;
      SubstitutionRule rule = *ParseSubstitutionRule(line);
      if (Uniform(0, 4) == 0)
        rule.Weight = Weight();
      tables.substitution.push_back(rule);
    }
    for (int i = 0; i < extraConnections; ++i) {
      const auto at = static_cast<long>(Uniform(0, static_cast<int>(tables.connection.size())));
      tables.connection.insert(tables.connection.begin() + at, Connection());
    }
    for (int i = 0; i < extraSubstitutions; ++i) {
      const auto at = static_cast<long>(Uniform(0, static_cast<int>(tables.substitution.size())));
      tables.substitution.insert(tables.substitution.begin() + at, Substitution());
    }
    return tables;
  }

  ConnectionRule Connection() {
    ConnectionRule rule;
    rule.Weight = Weight();
    rule.Mode = Mode();
    const int roll = Uniform(0, 99);
    int length = roll < 3 ? 1 : (roll < 55 ? 2 : (roll < 85 ? 3 : Uniform(4, 6)));
    for (int i = 0; i < length; ++i)
      rule.Degrees[static_cast<std::size_t>(i)] = Degree();
    rule.Degrees[static_cast<std::size_t>(length)] = 0;
    static constexpr char kCorrections[] = {' ', ' ', ' ', ' ', ' ', 'M', 'm', 'n', 'x', '8'};
    rule.Correction = kCorrections[Uniform(0, 9)];
    return rule;
  }

  SubstitutionRule Substitution() {
    SubstitutionRule rule;
    rule.Weight = Weight();
    rule.Mode = Mode();
    rule.FromDegree = Degree();
    rule.ToDegree = Uniform(0, 3) == 0 ? rule.FromDegree : Degree();
    return rule;
  }

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

 private:
  std::int32_t Weight() {
    const int roll = Uniform(0, 99);
    if (roll < 4)
      return 0;
    if (roll < 7)
      return -Uniform(1, 50);
    return Uniform(1, 99);
  }
  char Mode() {
    static constexpr char kModes[] = {'?', '?', '?', '?', ' ', ' ', ' ', 'm', 'm', 'm', 'x'};
    return kModes[Uniform(0, 10)];
  }
  std::int32_t Degree() {
    const int roll = Uniform(0, 99);
    if (roll < 2)
      return 0;
    if (roll < 4)
      return Uniform(8, 9);
    return Uniform(1, 7);
  }

  std::mt19937 rng_;
};

}  // namespace sonavela::generator::testing
