// SPDX-License-Identifier: GPL-3.0-or-later
// Times the rule check (both home keys, as --check-rules runs it) on the
// default tables and on random ones from 25+25 to 1000+1000 rules; the median
// of several runs. Beside it, up to `slow-limit` rules a table, the states
// played one by one through the search, the way the check once worked.
// Usage: rule_check_bench [runs] [slow-limit]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "generator/candidate_keys.h"
#include "generator/rule_check.h"
#include "generator/rules.h"
#include "random_tables.h"
#include "reach_by_playing.h"

namespace {

using namespace sonavela;
using Clock = std::chrono::steady_clock;

std::string Weighted(std::int32_t weight) {
  char text[16];
  std::snprintf(text, sizeof text, "%4d", static_cast<int>(std::clamp(weight, -999, 9999)));
  return std::string(text) + "     ";
}

generator::RuleTables AsText(const generator::testing::RandomTables& made) {
  generator::RuleTables tables;
  for (const generator::ConnectionRule& rule : made.connection) {
    std::string line = Weighted(rule.Weight) + rule.Mode;
    for (std::size_t i = 0; i < generator::ChainLength(rule); ++i)
      line += static_cast<char>('0' + rule.Degrees[i]);
    if (rule.Correction != ' ')
      line += rule.Correction;
    tables.connection.push_back(line);
  }
  for (const generator::SubstitutionRule& rule : made.substitution) {
    tables.substitution.push_back(Weighted(rule.Weight) + rule.Mode +
                                  static_cast<char>('0' + rule.FromDegree) +
                                  static_cast<char>('0' + rule.ToDegree));
  }
  return tables;
}

const harmony::Key kHomes[] = {{{'C', 0}, harmony::kMajor}, {{'A', 0}, harmony::kMinor}};

double Milliseconds(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

void Report(const std::string& name, const generator::RuleTables& tables, int runs, bool slowToo) {
  std::vector<double> times;
  std::size_t findings = 0;
  for (int r = 0; r < runs; ++r) {
    const Clock::time_point start = Clock::now();
    findings = 0;
    for (const harmony::Key home : kHomes)
      findings += generator::CheckRules(tables, home).findings.size();
    times.push_back(Milliseconds(start));
  }
  std::sort(times.begin(), times.end());
  std::printf("%-18s %9.3f ms  (%zu findings, both home keys)", name.c_str(),
              times[times.size() / 2], findings);
  if (slowToo) {
    // The rule lines as the check loads them.
    std::vector<generator::ConnectionRule> connection;
    std::vector<generator::SubstitutionRule> substitution;
    for (const std::string& line : tables.connection) {
      if (auto rule = generator::ParseConnectionRule(generator::RemoveTrailingWhiteSpace(line)))
        connection.push_back(*rule);
    }
    for (const std::string& line : tables.substitution) {
      if (auto rule = generator::ParseSubstitutionRule(generator::RemoveTrailingWhiteSpace(line)))
        substitution.push_back(*rule);
    }
    const Clock::time_point start = Clock::now();
    for (const harmony::Key home : kHomes)
      (void)generator::testing::ReachByPlaying({connection, substitution, home});
    std::printf("   state by state: %10.1f ms", Milliseconds(start));
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const int slowLimit = argc > 2 ? std::atoi(argv[2]) : 100;
  generator::RuleTables defaults;
  for (const auto line : generator::DefaultConnectionRules)
    defaults.connection.emplace_back(line);
  for (const auto line : generator::DefaultSubstitutionRules)
    defaults.substitution.emplace_back(line);
  Report("default tables", defaults, runs, true);
  generator::testing::RandomTableMaker maker(20261210);
  for (const int size : {25, 50, 100, 200, 400, 1000}) {
    Report("random " + std::to_string(size) + "+" + std::to_string(size),
           AsText(maker.Make(size, size)), runs, size <= slowLimit);
  }
  return 0;
}
