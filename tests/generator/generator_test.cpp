// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <string>
#include <vector>

#include "generator/candidate_keys.h"
#include "generator/generator.h"
#include "generator/random_source.h"
#include "generator_test_support.h"
#include "literal_search.h"

namespace sonavela::generator {
namespace {

using harmony::Major;
using harmony::Minor;
using harmony::N;

TEST(RandomSource, ReproducesTheCRuntimeSequence) {
  RandomSource random;
  EXPECT_EQ(random.State(), 1u);
  EXPECT_EQ(random.Next(), 41);
  EXPECT_EQ(random.Next(), 18467);
  EXPECT_EQ(random.Next(), 6334);
  EXPECT_EQ(random.Next(), 26500);
  EXPECT_EQ(random.Next(), 19169);

  RandomSource again;
  EXPECT_EQ(DrawThirtyBits(again), 1361955);

  // The state wraps modulo 2^32 and only bits 16..30 are returned.
  RandomSource high(0xFFFFFFFFu);
  const std::uint32_t next = 0xFFFFFFFFu * 214013u + 2531011u;
  EXPECT_EQ(high.Next(), static_cast<std::int32_t>((next >> 16) & 0x7FFF));
  EXPECT_EQ(high.State(), next);
}

TEST(DrawBelow, UpToTwoToThe30DrawsExactlyAsEver) {
  for (const std::int64_t total :
       {std::int64_t{1}, std::int64_t{8000}, std::int64_t{999'800'010}, kThirtyBitRange}) {
    for (const std::uint32_t seed : {1u, 12345u, 0xDEADBEEFu}) {
      RandomSource random(seed);
      RandomSource expected(seed);
      EXPECT_EQ(DrawBelow(random, total), DrawThirtyBits(expected) % total) << total;
      EXPECT_EQ(random.State(), expected.State()) << "two draws, no more";
    }
  }
}

TEST(DrawBelow, BeyondTwoToThe30ReachesTheWholeRangeEvenly) {
  const std::vector<std::int64_t> totals{kThirtyBitRange + 1, 3 * kThirtyBitRange,
                                         std::int64_t{1} << 50,
                                         std::numeric_limits<std::int64_t>::max()};
  for (const std::int64_t total : totals) {
    SCOPED_TRACE(total);
    RandomSource random(7);
    constexpr int kDraws = 3000;
    int upperHalf = 0;
    for (int i = 0; i < kDraws; ++i) {
      const std::int64_t r = DrawBelow(random, total);
      ASSERT_GE(r, 0);
      ASSERT_LT(r, total);
      upperHalf += r >= total / 2 ? 1 : 0;
    }
    EXPECT_NEAR(upperHalf, kDraws / 2, kDraws / 20);
  }
}

TEST(CandidateTonics, RunByFifthsFromGFlatWithTheirRelativeMinors) {
  const std::vector<std::pair<std::string, std::string>> expected{
      {"Gb", "Eb"}, {"Db", "Bb"}, {"Ab", "F"},  {"Eb", "C"}, {"Bb", "G"}, {"F", "D"},
      {"C", "A"},   {"G", "E"},   {"D", "B"},   {"A", "F#"}, {"E", "C#"}, {"B", "G#"},
      {"F#", "D#"}, {"C#", "A#"}, {"G#", "E#"}, {"D#", "B#"}};
  const auto& rows = CandidateTonics();
  for (std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(rows[k].major, Major(expected[k].first)) << k;
    EXPECT_EQ(rows[k].minor, Minor(expected[k].second)) << k;
    EXPECT_EQ(CandidateKeys()[2 * k], rows[k].major);
    EXPECT_EQ(CandidateKeys()[2 * k + 1], rows[k].minor);
  }
  EXPECT_EQ(CandidateKeyIndex(Major("C")), 12);
  EXPECT_EQ(CandidateKeyIndex(Minor("A")), 13);
  EXPECT_EQ(CandidateKeyIndex(Major("Cb")), -1);
}

TEST(ProgressionGenerator, StartsInCMajorWithTheTonicQueued) {
  ProgressionGenerator generator;
  EXPECT_EQ(generator.HomeKey(), Major("C"));
  EXPECT_EQ(generator.StepsAway(), 0);
  EXPECT_EQ(generator.PreviousChord().root.letter, ' ');
  EXPECT_EQ(generator.CurrentStep().key.tonic.letter, ' ');
  EXPECT_EQ(generator.CurrentStep().chord, Maj("C"));
  EXPECT_EQ(generator.RandomState(), 1u);
  ASSERT_EQ(generator.Queue().size(), 1u);
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Maj("C")));
  EXPECT_TRUE(generator.Queue().empty());
}

TEST(ProgressionGenerator, ResetStartsAgainAtTheTonicOfTheHomeKey) {
  ProgressionGenerator generator;
  LoadDefaults(generator, false);
  generator.Reset();
  for (int i = 0; i < 6; ++i) {
    (void)generator.PopStep();
    generator.Advance();
  }
  generator.SetHomeKey(Minor("A"));
  generator.Reset();
  ASSERT_EQ(generator.Queue().size(), 1u);
  EXPECT_EQ(generator.StepsAway(), 0);
  EXPECT_EQ(generator.PreviousChord().root.letter, ' ');
  // The search starts with no key established; the mode stays the home key's.
  EXPECT_EQ(generator.CurrentStep().key, (harmony::Key{{' ', 0}, 'm'}));
  EXPECT_EQ(generator.PopStep(), Step(Minor("A"), Min("A")));
}

TEST(ProgressionGenerator, PopStepOnAnEmptyQueueGivesTheCurrentStep) {
  ProgressionGenerator generator;
  (void)generator.PopStep();
  const ProgressionStep again = generator.PopStep();
  EXPECT_EQ(again, generator.CurrentStep());
  EXPECT_TRUE(generator.Queue().empty());
}

TEST(ProgressionGenerator, RuleTablesHoldAtMostTheCapacity) {
  ProgressionGenerator generator;
  ConnectionRule rule;
  rule.Weight = 1;
  for (std::size_t i = 0; i < RuleCapacity; ++i)
    EXPECT_TRUE(generator.AddConnectionRule(rule));
  rule.Weight = 2;
  EXPECT_FALSE(generator.AddConnectionRule(rule));
  EXPECT_EQ(generator.ConnectionRules().size(), RuleCapacity);
  EXPECT_EQ(generator.ConnectionRules().back().Weight, 1);
  for (std::size_t i = 0; i < RuleCapacity; ++i) {
    EXPECT_TRUE(generator.AddSubstitutionRule(SubstitutionRule{}));
  }
  EXPECT_FALSE(generator.AddSubstitutionRule(SubstitutionRule{}));

  generator.ClearRules();
  EXPECT_TRUE(generator.ConnectionRules().empty());
  EXPECT_TRUE(generator.SubstitutionRules().empty());
  EXPECT_TRUE(generator.AddConnectionRule(rule));
  EXPECT_EQ(generator.ConnectionRules()[0].Weight, 2);
}

TEST(Advance, DoesNothingWhileStepsAreQueued) {
  ProgressionGenerator generator;
  LoadDefaults(generator, false);
  generator.Reset();
  generator.Advance();
  EXPECT_EQ(generator.Queue().size(), 1u);
  EXPECT_EQ(generator.RandomState(), 1u);
  EXPECT_EQ(generator.CurrentStep().key.tonic.letter, ' ');
}

TEST(Advance, FirstLinesOfAProgressionWithTheDefaultTables) {
  ProgressionGenerator generator;
  LoadDefaults(generator, false);
  generator.Reset();
  std::vector<std::string> lines;
  for (int i = 0; i < 3; ++i) {
    lines.push_back(Line(generator.PopStep()));
    generator.Advance();
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"C   : C", "C   : Am", "C   : Dm"}));

  ProgressionGenerator minor;
  LoadDefaults(minor, true);
  minor.Reset();
  lines.clear();
  for (int i = 0; i < 2; ++i) {
    lines.push_back(Line(minor.PopStep()));
    minor.Advance();
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"Am  : Am", "Am  : F"}));
}

TEST(Advance, TheRandomSequenceRunsOnAcrossResets) {
  ProgressionGenerator generator;
  LoadDefaults(generator, false);
  generator.Reset();
  (void)generator.PopStep();
  generator.Advance();
  const std::uint32_t afterFirst = generator.RandomState();
  EXPECT_NE(afterFirst, 1u);
  generator.Reset();
  EXPECT_EQ(generator.RandomState(), afterFirst);
  generator.SetRandomState(1);
  (void)generator.PopStep();
  generator.Advance();
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Min("A")));
}

TEST(Advance, WithEmptyTablesRepeatsTheTonicWithNoKey) {
  ProgressionGenerator generator;
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Maj("C")));
  for (int i = 0; i < 3; ++i) {
    generator.Advance();
    const ProgressionStep step = generator.PopStep();
    EXPECT_EQ(step.key, (harmony::Key{{' ', 0}, ' '}));
    EXPECT_EQ(step.chord, Maj("C"));
    EXPECT_EQ(Line(step), "    : C");
  }
  EXPECT_EQ(generator.RandomState(), 1u);
}

TEST(Advance, FindsNothingWithoutATonicReReading) {
  ProgressionGenerator generator;
  std::vector<std::string> substitution(DefaultSubstitutionRules.begin() + 1,
                                        DefaultSubstitutionRules.end());
  substitution.emplace_back();
  (void)LoadRules(generator, ListLines(DefaultConnectionRules), substitution, false);
  generator.Reset();
  (void)generator.PopStep();
  EXPECT_TRUE(CollectPlans(generator).Plans.empty());
  generator.Advance();
  EXPECT_EQ(generator.Queue().size(), 1u);
  EXPECT_EQ(generator.RandomState(), 1u);
  EXPECT_EQ(generator.StepsAway(), 0);
}

TEST(Advance, WeightZeroCandidatesAreNeverChosen) {
  const auto run = [](const std::vector<std::string>& connection) {
    ProgressionGenerator generator;
    (void)LoadRules(generator, connection, std::vector<std::string>{"  40     ?11", "  40     ?66"},
                    false);
    generator.Reset();
    (void)generator.PopStep();
    const PlanSet set = CollectPlans(generator);
    generator.Advance();
    return std::pair{set, generator.PopStep()};
  };
  // All candidates weigh 0 (a negative weight counts as 0): the step repeats.
  const auto [none, repeated] = run({"   0     ?16", "  -5     ?14"});
  EXPECT_EQ(none.Plans.size(), 2u);
  EXPECT_EQ(none.TotalWeight, 0);
  EXPECT_EQ(repeated.chord, Maj("C"));
  EXPECT_EQ(repeated.key.tonic.letter, ' ');
  // Whatever is drawn, the weighted one is chosen.
  const auto [some, chosen] = run({"   0     ?16", "   3     ?14", "  -9     ?15"});
  ASSERT_EQ(some.Plans.size(), 3u);
  EXPECT_EQ(some.TotalWeight, 120);
  EXPECT_EQ(chosen, Step(Major("C"), Maj("F")));
}

TEST(Advance, TotalWeightDoesNotOverflow) {
  ProgressionGenerator generator;
  const std::vector<std::string> connection{"9999     ?16", "9999     ?14", "9999     ?15"};
  std::vector<std::string> substitution(RuleCapacity, "9999     ?11");
  substitution.emplace_back();
  (void)LoadRules(generator, connection, substitution, false);
  generator.Reset();
  (void)generator.PopStep();
  const PlanSet set = CollectPlans(generator);
  EXPECT_EQ(set.Plans.size(), 3 * RuleCapacity);
  EXPECT_EQ(set.TotalWeight, std::int64_t{9999} * 9999 * 3 * 1000);
  generator.Advance();
  literal::LiteralGenerator reference(
      {generator.ConnectionRules().begin(), generator.ConnectionRules().end()},
      {generator.SubstitutionRules().begin(), generator.SubstitutionRules().end()}, Major("C"));
  (void)reference.PopStep();
  reference.Advance();
  EXPECT_EQ(generator.PopStep(), reference.PopStep());
}

TEST(Advance, TotalsBeyondTwoToThe30ReachEveryPlanInProportion) {
  // Eleven plans to A minor, then F and G, each 9999 x 9999: F and G lie
  // wholly beyond 2^30 in the running sums.
  std::vector<std::string> connection(11, "9999     ?16");
  connection.insert(connection.end(), {"9999     ?14", "9999     ?15"});
  ProgressionGenerator generator;
  (void)LoadRules(generator, connection, std::vector<std::string>{"9999     ?11"}, false);
  ASSERT_GT(CollectPlans(generator).TotalWeight, kThirtyBitRange);
  literal::LiteralGenerator reference(
      {generator.ConnectionRules().begin(), generator.ConnectionRules().end()},
      {generator.SubstitutionRules().begin(), generator.SubstitutionRules().end()}, Major("C"));

  constexpr int kSeeds = 1000;
  std::map<std::string, int> chosen;
  for (std::uint32_t i = 1; i <= kSeeds; ++i) {
    const std::uint32_t seed = i * 2654435761u;
    generator.Reset();
    generator.SetRandomState(seed);
    (void)generator.PopStep();
    generator.Advance();
    reference.Reset();
    reference.SetRandomState(seed);
    (void)reference.PopStep();
    reference.Advance();
    const ProgressionStep step = generator.PopStep();
    ASSERT_EQ(step, reference.PopStep()) << "seed " << seed;
    ++chosen[Line(step)];
  }
  EXPECT_NEAR(chosen["C   : Am"], kSeeds * 11 / 13, kSeeds / 20);
  EXPECT_NEAR(chosen["C   : F"], kSeeds / 13, kSeeds / 40);
  EXPECT_NEAR(chosen["C   : G"], kSeeds / 13, kSeeds / 40);
}

TEST(Advance, SkipsChainsWithoutAChordOfTheirOwn) {
  ProgressionGenerator generator;
  // "?1M" is the pivot alone, "?0" and "?102" end at once: with them alone the
  // search would go round in circles without adding a step.
  (void)LoadRules(generator,
                  std::vector<std::string>{"  50     ?1M", "  50     ?0", "  50     ?102"},
                  std::vector<std::string>{"  40     ?11"}, false);
  generator.Reset();
  (void)generator.PopStep();
  EXPECT_TRUE(CollectPlans(generator).Plans.empty());
  generator.Advance();
  EXPECT_EQ(generator.PopStep().chord, Maj("C"));
}

TEST(Advance, LongChainsQueueAllTheirChords) {
  ProgressionGenerator generator;
  (void)LoadRules(generator, std::vector<std::string>{"  10     ?1452m"},
                  std::vector<std::string>{"  40     ?11"}, false);
  generator.Reset();
  (void)generator.PopStep();
  generator.Advance();
  ASSERT_EQ(generator.Queue().size(), 3u);
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Maj("F")));
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Maj("G")));
  // "m" on the minor II leaves it minor; a whole tone below D is C, plain.
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Min("D")));
  EXPECT_EQ(generator.CurrentStep(), Step(Major("C"), Min("D")));
  EXPECT_EQ(generator.PreviousChord(), Maj("C"));
}

TEST(Advance, NoTriadAndNeitherMajorNorMinorMatchesNoSubstitution) {
  // An empty chord (degree 3 of a minor key) has pivot degree 0: even a rule
  // whose from-degree digit is 0 does not match it.
  ProgressionGenerator generator;
  (void)LoadRules(
      generator, std::vector<std::string>{"  10     m15", "  10     m53"},
      std::vector<std::string>{"  40     ?11", "  40     ?55", "  40     ?00", "  40     ?03"},
      true);
  generator.Reset();
  (void)generator.PopStep();
  generator.Advance();
  EXPECT_EQ(generator.PopStep(), Step(Minor("A"), Maj("E")));
  generator.Advance();
  const ProgressionStep empty = generator.PopStep();
  EXPECT_EQ(Line(empty), "Am  :  ?");
  EXPECT_TRUE(CollectPlans(generator).Plans.empty());
  generator.Advance();
  EXPECT_EQ(generator.PopStep(), empty);
}

}  // namespace
}  // namespace sonavela::generator

namespace sonavela::generator {
namespace {

// From any of the 32 keys, the first stretch stays in that key, each chord
// spelled on the key's own scale notes (a root of another spelling, F# for
// Gb, would be a wrong name on every line of that key).
TEST(Advance, EveryHomeKeySpellsItsFirstStretchOnItsOwnScale) {
  for (const harmony::Key home : CandidateKeys()) {
    SCOPED_TRACE(harmony::KeyName(home));
    ProgressionGenerator generator;
    LoadDefaults(generator, false);
    generator.SetHomeKey(home);
    generator.Reset();
    int inHome = 0;
    for (int i = 0; i < 30; ++i) {
      const ProgressionStep step = generator.PopStep();
      generator.Advance();
      if (i > 0 && !(step.key == home)) {
        break;
      }
      bool onTheScale = false;
      for (harmony::ScaleDegree degree = 1; degree <= 7; ++degree) {
        onTheScale =
            onTheScale || harmony::BuildChordOnDegree(home, degree).root == step.chord.root;
      }
      EXPECT_TRUE(onTheScale) << Line(step);
      ++inHome;
    }
    EXPECT_GE(inHome, 2);
  }
}

}  // namespace
}  // namespace sonavela::generator
