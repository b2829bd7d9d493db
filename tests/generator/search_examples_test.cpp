// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/generator.h"
#include "generator_test_support.h"
#include "literal_search.h"

namespace sonavela::generator {
namespace {

using harmony::Chord;
using harmony::Key;
using harmony::Major;
using harmony::Minor;

struct Example {
  std::string name;
  bool minorHome;
  std::int32_t depth;
  Chord previous;
  ProgressionStep current;
  std::vector<Plan> plans;
};

Plan P(std::vector<ProgressionStep> steps, std::int64_t weight) {
  return {std::move(steps), weight};
}

const Key kNoKeyMajor{{' ', 0}, ' '};
const Key kNoKeyMinor{{' ', 0}, 'm'};

std::vector<Example> Examples() {
  const Key c = Major("C");
  const Key cm = Minor("C");
  const Key am = Minor("A");
  return {
      {"1 first stretch in C major",
       false,
       0,
       Chord{},
       Step(kNoKeyMajor, Maj("C")),
       {P({Step(c, Min("A"))}, 3200), P({Step(c, Maj("A"))}, 800), P({Step(c, Maj("F"))}, 3200),
        P({Step(c, Min("F"))}, 400), P({Step(c, Maj("G"))}, 400)}},
      {"2 from VI", false, 0, Maj("C"), Step(c, Min("A")), {P({Step(c, Min("D"))}, 1600)}},
      {"3 from II, into A minor and back",
       false,
       0,
       Min("A"),
       Step(c, Min("D")),
       {P({Step(c, Maj("G")), Step(c, Maj("C"))}, 1600), P({Step(c, Maj("G"))}, 1600),
        P({Step(am, Maj("E"))}, 6400), P({Step(am, Dim("G#"))}, 1600)}},
      {"4 from V with room",
       false,
       0,
       Min("D"),
       Step(c, Maj("G")),
       {P({Step(cm, Min("C"))}, 3200), P({Step(cm, Maj("Ab"))}, 3200), P({Step(c, Maj("C"))}, 3200),
        P({Step(c, Min("A"))}, 3200)}},
      {"4 from V at the depth limit",
       false,
       15,
       Min("D"),
       Step(c, Maj("G")),
       {P({Step(c, Maj("C"))}, 3200), P({Step(c, Min("A"))}, 3200)}},
      {"5 not back to the previous chord",
       false,
       0,
       Maj("C"),
       Step(c, Maj("G")),
       {P({Step(cm, Min("C"))}, 3200), P({Step(cm, Maj("Ab"))}, 3200),
        P({Step(c, Min("A"))}, 3200)}},
      {"6 first stretch in A minor",
       true,
       0,
       Chord{},
       Step(kNoKeyMinor, Min("A")),
       {P({Step(am, Maj("A"))}, 800), P({Step(am, Maj("F"))}, 3200), P({Step(am, Min("D"))}, 3200),
        P({Step(am, Maj("E"))}, 400)}},
      {"7 the Neapolitan",
       true,
       0,
       Min("A"),
       Step(am, Maj("F")),
       {P({Step(am, Maj("Bb"))}, 400), P({Step(c, Min("F"))}, 1600), P({Step(c, Maj("G"))}, 6400)}},
  };
}

PlanSet Expected(const Example& example) {
  PlanSet set;
  set.Plans = example.plans;
  for (const Plan& plan : example.plans)
    set.TotalWeight += plan.Weight;
  return set;
}

TEST(WorkedExamples, PlanSetsMatchInOrderAndWeight) {
  for (const Example& example : Examples()) {
    SCOPED_TRACE(example.name);
    ProgressionGenerator generator;
    LoadDefaults(generator, example.minorHome);
    const PlanSet expected = Expected(example);

    EXPECT_EQ(CollectFrom(generator, example.depth, example.previous, example.current), expected);

    literal::LiteralSearch reference(generator.ConnectionRules(), generator.SubstitutionRules(),
                                     generator.HomeKey());
    PlanSet slow;
    reference.SearchPivots(false, example.depth, example.previous, example.current, slow);
    EXPECT_EQ(slow, expected);
  }
}

TEST(WorkedExamples, ExpectedSetsHaveTheKnownTotals) {
  const auto examples = Examples();
  EXPECT_EQ(Expected(examples[0]).TotalWeight, 8000);
  EXPECT_EQ(Expected(examples[2]).TotalWeight, 11200);
  EXPECT_EQ(Expected(examples[6]).TotalWeight, 7600);
  EXPECT_EQ(Expected(examples[7]).TotalWeight, 8400);
}

TEST(WorkedExamples, FirstChoicesAndTheStateAfterThem) {
  ProgressionGenerator generator;
  LoadDefaults(generator, false);
  generator.Reset();
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Maj("C")));
  EXPECT_EQ(CollectPlans(generator), Expected(Examples()[0]));
  generator.Advance();  // r = 1361955 mod 8000 = 1955: the first plan
  EXPECT_EQ(generator.PreviousChord(), Maj("C"));
  EXPECT_EQ(generator.CurrentStep(), Step(Major("C"), Min("A")));
  EXPECT_EQ(generator.StepsAway(), 0);
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Min("A")));

  // Example 2: one plan, whatever is drawn.
  EXPECT_EQ(CollectPlans(generator), Expected(Examples()[1]));
  generator.Advance();
  EXPECT_EQ(generator.PopStep(), Step(Major("C"), Min("D")));
  EXPECT_EQ(CollectPlans(generator), Expected(Examples()[2]));

  ProgressionGenerator minor;
  LoadDefaults(minor, true);
  minor.Reset();
  (void)minor.PopStep();
  EXPECT_EQ(CollectPlans(minor), Expected(Examples()[6]));
  minor.Advance();  // r = 1361955 mod 7600 = 1555: the second plan
  EXPECT_EQ(minor.PopStep(), Step(Minor("A"), Maj("F")));
  EXPECT_EQ(CollectPlans(minor), Expected(Examples()[7]));
}

TEST(Search, ACorrectedChordCountsAsVOrIVOfItsKey) {
  ProgressionGenerator generator;
  LoadDefaults(generator, false);
  // (A, C#, E) in C major is V of D minor and of D major.
  const PlanSet set = CollectFrom(generator, 0, Maj("C"), Step(Major("C"), Maj("A")));
  ASSERT_FALSE(set.Plans.empty());
  bool dMinor = false;
  bool dMajor = false;
  for (const Plan& plan : set.Plans) {
    dMinor = dMinor || plan.Steps[0].key == Minor("D");
    dMajor = dMajor || plan.Steps[0].key == Major("D");
  }
  EXPECT_TRUE(dMinor);
  EXPECT_TRUE(dMajor);

  literal::LiteralSearch reference(generator.ConnectionRules(), generator.SubstitutionRules(),
                                   generator.HomeKey());
  PlanSet slow;
  reference.SearchPivots(false, 0, Maj("C"), Step(Major("C"), Maj("A")), slow);
  EXPECT_EQ(set, slow);
}

TEST(Search, AMiddleChordMayEqualThePreviousChord) {
  ProgressionGenerator generator;
  (void)LoadRules(generator, std::vector<std::string>{"  10     ?161", "  10     ?16"},
                  std::vector<std::string>{"  40     ?11"}, false);
  // From C with previous chord A minor: "?16" ends on it and is skipped; the
  // middle A minor of "?161" is not tested.
  const PlanSet set = CollectFrom(generator, 0, Min("A"), Step(Major("C"), Maj("C")));
  ASSERT_EQ(set.Plans.size(), 1u);
  EXPECT_EQ(set.Plans[0].Steps,
            (std::vector<ProgressionStep>{Step(Major("C"), Min("A")), Step(Major("C"), Maj("C"))}));
}

}  // namespace
}  // namespace sonavela::generator

namespace sonavela::generator {
namespace {

TEST(ApplyCorrection, AltersTheLastChordAndChecksItsSpelling) {
  struct Case {
    const char* name;
    harmony::Chord chord;
    char correction;
    std::optional<harmony::Chord> expected;
  };
  const std::vector<Case> cases{
      {"M on VI of C major", Min("A"), 'M', Maj("A")},
      {"m on IV of C major: Eb below F is plain", Maj("F"), 'm', Min("F")},
      {"m on IV of G flat major: Bbb below Cb is not", Maj("Cb"), 'm', std::nullopt},
      {"n on II of A minor: Eb a fifth below Bb is plain", Dim("B"), 'n', Maj("Bb")},
      {"n on II of B flat minor: Fb a fifth below Cb is not plain", Dim("C"), 'n', std::nullopt},
      {"no correction", Min("D"), ' ', Min("D")},
      {"unknown correction", Min("D"), 'x', Min("D")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ApplyCorrection(c.chord, c.correction), c.expected);
  }
  // On a minor triad "n" gives an augmented one: no table row, and shown as such.
  const auto augmented = ApplyCorrection(Min("D"), 'n');
  ASSERT_TRUE(augmented);
  EXPECT_EQ(Line(Step(harmony::Major("C"), *augmented)), "C   : Db?");
}

TEST(PivotDegree, FallsBackToVForMajorAndIVForMinorTriads) {
  EXPECT_EQ(PivotDegree(harmony::Major("C"), Min("A")), 6);
  EXPECT_EQ(PivotDegree(harmony::Major("C"), Maj("A")), 5);
  EXPECT_EQ(PivotDegree(harmony::Major("C"), Min("F")), 4);
  EXPECT_EQ(PivotDegree(harmony::Major("C"), Maj("Bb")), 5);
  EXPECT_EQ(PivotDegree(harmony::Major("C"), *ApplyCorrection(Min("D"), 'n')), 0);
  EXPECT_EQ(PivotDegree(harmony::Key{{' ', 0}, 'm'}, Maj("E")), 1);
}

}  // namespace
}  // namespace sonavela::generator
