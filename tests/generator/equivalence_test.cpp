// SPDX-License-Identifier: GPL-3.0-or-later
// The generator's indexed, cached search against the literal search on
// randomly made tables: the same PlanSets, the same draws, the same steps.

#include <gtest/gtest.h>

#include <iostream>
#include <vector>

#include "generator/candidate_keys.h"
#include "generator/generator.h"
#include "generator_test_support.h"
#include "literal_search.h"
#include "random_tables.h"

namespace sonavela::generator {
namespace {

using harmony::Major;
using harmony::Minor;

// SearchPivots calls the literal search may make for one Advance; a table
// that needs more is left (the fast search handles it, the reference cannot).
constexpr std::uint64_t kLiteralBudget = 20'000;

void Load(ProgressionGenerator& generator, const testing::RandomTables& tables, harmony::Key home) {
  generator.ClearRules();
  for (const ConnectionRule& rule : tables.connection)
    ASSERT_TRUE(generator.AddConnectionRule(rule));
  for (const SubstitutionRule& rule : tables.substitution) {
    ASSERT_TRUE(generator.AddSubstitutionRule(rule));
  }
  generator.SetHomeKey(home);
  generator.Reset();
}

struct RunFigures {
  int tables = 0;
  int tablesLeft = 0;
  int steps = 0;
  int searches = 0;
  int searchesWithChoice = 0;
  int stepsAwayFromHome = 0;
};

// Plays `steps` steps with both searches side by side; false when the
// literal search ran out of budget.
bool PlaySideBySide(const testing::RandomTables& tables, harmony::Key home, std::uint32_t seed,
                    int steps, RunFigures& figures) {
  ProgressionGenerator generator;
  Load(generator, tables, home);
  generator.SetRandomState(seed);
  literal::LiteralGenerator reference(tables.connection, tables.substitution, home);
  reference.SetRandomState(seed);
  ProgressionSearch search;  // beside the generator's own, its caches kept across the run
  int stuck = 0;             // searches in a row that found nothing: from then on the chord repeats
  for (int i = 0; i < steps && stuck < 3; ++i) {
    const ProgressionStep fast = generator.PopStep();
    const ProgressionStep slow = reference.PopStep();
    EXPECT_EQ(fast, slow) << "step " << i;
    if (fast != slow)
      return true;
    figures.stepsAwayFromHome += fast.key == home ? 0 : 1;
    const bool searches = generator.Queue().empty();
    const PlanSet expected = [&] {
      try {
        return reference.Advance(kLiteralBudget);
      } catch (const literal::BudgetExceeded&) {
        return PlanSet{{}, -1};
      }
    }();
    if (expected.TotalWeight < 0)
      return false;
    if (searches) {
      const PlanSet got = CollectFrom(generator, generator.StepsAway(), generator.PreviousChord(),
                                      generator.CurrentStep(), search);
      EXPECT_EQ(got, expected) << "search before step " << i + 1;
      if (got != expected)
        return true;
      ++figures.searches;
      figures.searchesWithChoice += expected.TotalWeight > 0 ? 1 : 0;
      stuck = expected.TotalWeight > 0 ? 0 : stuck + 1;
    }
    generator.Advance();
    EXPECT_EQ(generator.CurrentStep(), reference.CurrentStep());
    EXPECT_EQ(generator.PreviousChord(), reference.PreviousChord());
    EXPECT_EQ(generator.StepsAway(), reference.StepsAway());
    EXPECT_EQ(generator.RandomState(), reference.RandomState());
    ++figures.steps;
  }
  return true;
}

TEST(Equivalence, DefaultTablesPlayTheSameSixHundredSteps) {
  for (const bool minor : {false, true}) {
    testing::RandomTables tables;
    for (const auto line : DefaultConnectionRules)
      tables.connection.push_back(*ParseConnectionRule(line));
    for (const auto line : DefaultSubstitutionRules) {
      tables.substitution.push_back(*ParseSubstitutionRule(line));
    }
    RunFigures figures;
    EXPECT_TRUE(PlaySideBySide(tables, minor ? Minor("A") : Major("C"), 1, 600, figures));
    EXPECT_EQ(figures.steps, 600);
    EXPECT_EQ(figures.searchesWithChoice, figures.searches);  // the defaults never get stuck
    EXPECT_GT(figures.stepsAwayFromHome, 50);                 // and do modulate
  }
}

TEST(Equivalence, RandomTablesPlayTheSameSteps) {
  RunFigures figures;
  testing::RandomTableMaker maker(20261208);
  for (int t = 0; t < 56; ++t) {
    const testing::RandomTables tables =
        t % 4 == 3 ? maker.Make(maker.Uniform(4, 24), maker.Uniform(3, 14))
                   : maker.MakeFromDefaults(maker.Uniform(0, 8), maker.Uniform(0, 5));
    for (const harmony::Key home : {Major("C"), Minor("A")}) {
      ++figures.tables;
      const auto seed = static_cast<std::uint32_t>(maker.Uniform(1, 1 << 30));
      if (!PlaySideBySide(tables, home, seed, 150, figures))
        ++figures.tablesLeft;
      if (HasFailure())
        return;
    }
  }
  // The comparison must have covered real ground, not only dead ends.
  EXPECT_LE(figures.tablesLeft, figures.tables / 4);
  EXPECT_GE(figures.steps, 2500);
  EXPECT_GE(figures.searchesWithChoice, 2000);
  EXPECT_GE(figures.stepsAwayFromHome, 1000);
  std::cout << "[ figures  ] " << figures.tables << " tables (" << figures.tablesLeft
            << " left to the fast search), " << figures.steps << " steps, " << figures.searches
            << " searches, " << figures.searchesWithChoice << " with a choice, "
            << figures.stepsAwayFromHome << " steps away from home\n";
}

// Searches from arbitrary states: any candidate key and chord, any previous
// chord, every depth below the limit.
TEST(Equivalence, RandomStatesGiveTheSamePlanSetsAndProbes) {
  testing::RandomTableMaker maker(777);
  int compared = 0;
  int nonEmpty = 0;
  for (int t = 0; t < 40; ++t) {
    const testing::RandomTables tables =
        t % 4 == 3 ? maker.Make(maker.Uniform(4, 20), maker.Uniform(3, 12))
                   : maker.MakeFromDefaults(maker.Uniform(0, 8), maker.Uniform(0, 5));
    const harmony::Key home = t % 2 == 0 ? Major("C") : Minor("A");
    ProgressionGenerator generator;
    Load(generator, tables, home);
    ProgressionSearch search;  // one for all states: the caches must serve them all
    for (int i = 0; i < 25; ++i) {
      const auto& keys = CandidateKeys();
      const harmony::Key key = keys[static_cast<std::size_t>(maker.Uniform(0, 31))];
      harmony::Chord chord = harmony::BuildChordOnDegree(key, maker.Uniform(1, 7));
      if (maker.Uniform(0, 4) == 0)
        chord.type.tones[1].delta = maker.Uniform(-1, 0);
      const harmony::Chord previous = harmony::BuildChordOnDegree(
          keys[static_cast<std::size_t>(maker.Uniform(0, 31))], maker.Uniform(1, 7));
      const std::int32_t depth = maker.Uniform(0, 15);
      const ProgressionStep current{key, chord};
      PlanSet expected;
      bool expectedProbe = false;
      try {
        literal::LiteralSearch bounded(tables.connection, tables.substitution, home, 200'000);
        bounded.SearchPivots(false, depth, previous, current, expected);
        PlanSet unused;
        literal::LiteralSearch prober(tables.connection, tables.substitution, home, 200'000);
        expectedProbe = prober.SearchPivots(true, depth, previous, current, unused);
      } catch (const literal::BudgetExceeded&) {
        continue;
      }
      const PlanSet got = CollectFrom(generator, depth, previous, current, search);
      ASSERT_EQ(got, expected) << "table " << t << " state " << i;
      // A probe from the top finds a way home exactly when there is a candidate.
      EXPECT_EQ(!got.Plans.empty(), expectedProbe);
      ++compared;
      nonEmpty += expected.Plans.empty() ? 0 : 1;
    }
  }
  EXPECT_GE(compared, 800);
  EXPECT_GE(nonEmpty, 150);
}

}  // namespace
}  // namespace sonavela::generator
