// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/rule_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "generator/generator.h"
#include "generator/load_rules.h"
#include "harmony/names.h"
#include "random_tables.h"

namespace sonavela::generator {
namespace {

using ::testing::HasSubstr;

const harmony::Key kCMajor{{'C', 0}, harmony::kMajor};
const harmony::Key kAMinor{{'A', 0}, harmony::kMinor};

std::string Described(const RuleFinding& f) {
  return std::string(f.level == FindingLevel::kWarning ? "warning " : "note ") +
         (f.table == RuleTable::kConnection ? "connection " : "substitution ") +
         (f.line ? std::to_string(*f.line) : std::string("-")) + ": " + f.message;
}

std::vector<std::string> Described(const RuleCheck& check) {
  std::vector<std::string> lines;
  for (const RuleFinding& f : check.findings) {
    lines.push_back(Described(f));
  }
  return lines;
}

TEST(RuleCheck, TheDefaultTablesWarnOfNothingInEitherHomeKey) {
  for (const harmony::Key home : {kCMajor, kAMinor}) {
    const RuleCheck check = CheckRules(DefaultRuleTables(), home);
    EXPECT_FALSE(check.HasWarnings()) << ::testing::PrintToString(Described(check));
    EXPECT_TRUE(check.traps.empty());
    EXPECT_GT(check.reached.size(), 100u) << "the progression goes through many keys";
  }
}

// One table with a finding of each kind, each on the line it belongs to.
TEST(RuleCheck, EachKindOfFindingIsReportedOnItsLine) {
  RuleTables tables;
  tables.connection = {
      "  80     ?14",   // 0: fine
      "  80     ?45",   // 1
      "  80     ?51",   // 2
      "  10     x12",   // 3: no such mode
      "  10     ?ab",   // 4: no degree, no correction
      "  10     ?18",   // 5: degree 8
      "  10     ?1M",   // 6: one degree
      "   0     ?15",   // 7: weight 0
      "  10     ?17M",  // 8: B D# F in C: a trap
      "  10     ?36",   // 9: degree 3 is never played
      "  10",           // 10: too short
  };
  tables.substitution = {
      "  10     ?11",  // 0
      "  10     ?44",  // 1
      "  10     ?55",  // 2
      "  10     ?33",  // 3: never reached
      "  10     ?9",   // 4: too short
      "  10     ?1x",  // 5: no degree
  };
  const RuleCheck check = CheckRules(tables, kCMajor);
  const std::vector<std::string> expected{
      "warning connection 3: the mode 'x' matches no key (a blank for major keys, m for minor, ? "
      "for both)",
      "warning connection 4: 'b' is no correction (M major, m minor, n Neapolitan)",
      "warning connection 4: 'a' is no degree (1 to 7)",
      "warning connection 5: '8' is no degree (1 to 7)",
      "warning connection 6: a chain needs two degrees at least: the chord it starts from and "
      "one after",
      "warning connection 7: weight 0: the rule is never chosen",
      "warning connection 10: too short to be a rule: the line is skipped",
      "warning substitution 4: too short to be a rule: the line is skipped",
      "warning substitution 5: 'x' is no degree (1 to 7)",
      "warning connection 8: ends on B? (B D# F) in C, which no substitution rule continues "
      "from: the progression repeats it until Stop",
      "note connection 9: never reached from the home key C",
      "note substitution 3: never reached from the home key C",
  };
  EXPECT_EQ(Described(check), expected);
  ASSERT_EQ(check.traps.size(), 1u);
  EXPECT_EQ(harmony::ChordToneNames(check.traps[0].chord), "B D# F");

  // Thirty chains that one choice offers together, each of 9999 x 9999.
  RuleTables heavy;
  heavy.connection.assign(30, "9999     ?15");
  heavy.connection.push_back("9999     ?51");
  heavy.substitution = {"9999     ?11", "9999     ?55"};
  const RuleCheck overflow = CheckRules(heavy, kCMajor);
  ASSERT_FALSE(overflow.findings.empty());
  EXPECT_THAT(Described(overflow.findings.back()),
              HasSubstr("warning substitution -: the weights of one choice add up to 2999400030 "
                        "at C (C E G) in C, more than"));

  const RuleCheck stuck = CheckRules({{"  10     ?15"}, {"  10     ?22"}}, kCMajor);
  EXPECT_THAT(Described(stuck),
              ::testing::Contains(
                  "warning substitution -: no rule leads on from the tonic of C: the progression "
                  "repeats it until Stop"));
}

std::string LineOf(const ConnectionRule& rule) {
  char weight[16];
  std::snprintf(weight, sizeof weight, "%4d", static_cast<int>(rule.Weight));
  std::string line = std::string(weight) + "     " + rule.Mode;
  for (std::size_t i = 0; i < ChainLength(rule); ++i) {
    line += static_cast<char>('0' + rule.Degrees[i]);
  }
  if (rule.Correction != ' ') {
    line += rule.Correction;
  }
  return line;
}

std::string LineOf(const SubstitutionRule& rule) {
  char weight[16];
  std::snprintf(weight, sizeof weight, "%4d", static_cast<int>(rule.Weight));
  return std::string(weight) + "     " + rule.Mode + static_cast<char>('0' + rule.FromDegree) +
         static_cast<char>('0' + rule.ToDegree);
}

// Exact, not a guess: whatever a long run plays is in the reached set, and
// every chord a run gets stuck on is a trap the check reported.
TEST(RuleCheck, LongRunsStayWithinWhatTheCheckFound) {
  testing::RandomTableMaker maker(20261209);
  int stuckRuns = 0;
  for (int t = 0; t < 100; ++t) {
    const testing::RandomTables made =
        t % 2 == 0 ? maker.MakeFromDefaults(3, 2) : maker.Make(maker.Uniform(3, 12), 6);
    RuleTables tables;
    for (const ConnectionRule& rule : made.connection) {
      tables.connection.push_back(LineOf(rule));
    }
    for (const SubstitutionRule& rule : made.substitution) {
      tables.substitution.push_back(LineOf(rule));
    }
    const bool minor = t % 4 >= 2;
    const RuleCheck check = CheckRules(tables, minor ? kAMinor : kCMajor);
    std::set<std::string> reached;
    for (const ProgressionStep& step : check.reached) {
      reached.insert(harmony::FormatStepLine(step.key, step.chord) +
                     harmony::ChordToneNames(step.chord));
    }
    std::set<std::string> traps;
    for (const ProgressionStep& step : check.traps) {
      traps.insert(harmony::FormatStepLine(step.key, step.chord) +
                   harmony::ChordToneNames(step.chord));
    }

    ProgressionGenerator generator;
    generator.SetRandomState(static_cast<std::uint32_t>(t + 1));
    (void)LoadRules(generator, tables, minor);
    generator.Reset();
    for (int i = 0; i < 10000; ++i) {
      const ProgressionStep step = generator.PopStep();
      if (step.key.tonic.letter == ' ') {
        // Nothing leads on from the tonic: the start is all it plays.
        EXPECT_TRUE(
            std::any_of(check.findings.begin(), check.findings.end(),
                        [](const RuleFinding& f) { return f.kind == FindingKind::kStuckTonic; }))
            << "table " << t;
        ++stuckRuns;
        break;
      }
      const std::string played =
          harmony::FormatStepLine(step.key, step.chord) + harmony::ChordToneNames(step.chord);
      ASSERT_TRUE(reached.count(played)) << "table " << t << " step " << i << ": " << played;
      const ProgressionStep before = generator.CurrentStep();
      const harmony::Chord previous = generator.PreviousChord();
      const std::int32_t away = generator.StepsAway();
      const bool planning = generator.Queue().empty();
      generator.Advance();
      if (planning && before.key.tonic.letter != ' ' && generator.CurrentStep() == before &&
          generator.PreviousChord() == previous && generator.StepsAway() == away &&
          generator.Queue().size() == 1) {
        const std::string stuck = harmony::FormatStepLine(before.key, before.chord) +
                                  harmony::ChordToneNames(before.chord);
        EXPECT_TRUE(traps.count(stuck)) << "table " << t << " stuck on " << stuck;
        ++stuckRuns;
        break;
      }
    }
  }
  EXPECT_GT(stuckRuns, 0) << "no table got stuck: the traps went untested";
}

}  // namespace
}  // namespace sonavela::generator
