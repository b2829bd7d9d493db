// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/explanation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/generator.h"
#include "generator_test_support.h"

namespace sonavela::generator {
namespace {

using harmony::Chord;
using harmony::Key;
using harmony::Major;
using harmony::Minor;
using Source = StepOrigin::Source;

StepOrigin Stretch(Chord pivot, Key from, std::int32_t away, bool first = true) {
  return {Source::kStretch, first, pivot, from, 0, 0, away};
}

// The steps of the worked examples as --explain writes them.
TEST(Explanation, NumeralsPivotsAndDistancesOfTheWorkedExamples) {
  const Key c = Major("C");
  const Key am = Minor("A");
  const Key cm = Minor("C");
  const Key none{{' ', 0}, harmony::kMajor};
  const struct {
    Key home;
    ProgressionStep step;
    StepOrigin origin;
    std::string text;
  } cases[] = {
      {c, Step(c, Maj("C")), StepOrigin{}, "I"},
      {c, Step(c, Min("A")), Stretch(Maj("C"), none, 0), "vi"},
      {c, Step(c, Maj("A")), Stretch(Maj("C"), none, 0), "VI"},
      {c, Step(c, Min("F")), Stretch(Maj("C"), none, 0), "iv"},
      {c, Step(c, Maj("C")), Stretch(Min("D"), c, 0, false), "I"},
      {c, Step(am, Maj("E")), Stretch(Min("D"), c, 1),
       "V\tDm: ii in C = iv in Am; 1 step away from C, 14 left before it must return"},
      {c, Step(am, Dim("G#")), Stretch(Min("D"), c, 1),
       "vii°\tDm: ii in C = iv in Am; 1 step away from C, 14 left before it must return"},
      {c, Step(cm, Min("C")), Stretch(Maj("G"), c, 1),
       "i\tG: V in C = V in Cm; 1 step away from C, 14 left before it must return"},
      {c, Step(cm, Maj("Ab")), Stretch(Maj("G"), c, 15),
       "VI\tG: V in C = V in Cm; 15 steps away from C, 0 left before it must return"},
      {am, Step(am, Maj("Bb")), Stretch(Maj("F"), am, 0), "bII"},
      {am, Step(c, Maj("G")), Stretch(Maj("F"), am, 1),
       "V\tF: VI in Am = IV in C; 1 step away from Am, 14 left before it must return"},
      {am, Step(am, Maj("E")), Stretch(Min("D"), c, 0), "V\tDm: ii in C = iv in Am; home"},
      {c, Step(cm, Maj("G")), Stretch(Min("C"), cm, 3),
       "V\t3 steps away from C, 12 left before it must return"},
      {c, Step(c, Maj("A")), StepOrigin{Source::kRepeat},
       "VI\tno rule continues: the chord repeats"},
      {c, Step({{' ', 0}, harmony::kMajor}, Maj("C")), StepOrigin{Source::kRepeat},
       "I\tno rule continues: the chord repeats"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExplanationText(Explain(c.step, c.origin, c.home)), c.text) << Line(c.step);
  }
}

// What the generator records for each step against what was played: every
// stretch starts on a re-reading of the chord played before it by a rule
// that matches it, and the distance is the sum of the stretches since the
// last one that landed home.
TEST(Explanation, OriginsAgreeWithTheProgressionPlayed) {
  for (const bool minor : {false, true}) {
    ProgressionGenerator generator;
    ASSERT_TRUE(LoadDefaults(generator, minor).Clean());
    generator.Reset();
    const Key home = generator.HomeKey();
    std::vector<std::pair<ProgressionStep, StepOrigin>> played;
    for (int i = 0; i < 3000; ++i) {
      const ProgressionStep step = generator.PopStep();
      played.emplace_back(step, generator.PoppedOrigin());
      generator.Advance();
    }
    std::int32_t away = 0;
    int modulations = 0;
    for (std::size_t i = 1; i < played.size(); ++i) {
      const auto& [step, origin] = played[i];
      ASSERT_EQ(origin.source, Source::kStretch) << i;
      if (!origin.firstOfStretch) {
        EXPECT_EQ(step.key, played[i - 1].first.key) << i;
        EXPECT_EQ(origin.stepsAway, played[i - 1].second.stepsAway) << i;
        continue;
      }
      const ProgressionStep& before = played[i - 1].first;
      EXPECT_EQ(origin.pivot, before.chord) << i;
      Key heard = before.key;
      if (i == 1)
        heard.tonic.letter = ' ';  // no key is established before the first stretch
      EXPECT_EQ(origin.from, heard) << i;
      const SubstitutionRule& rule = generator.SubstitutionRules()[origin.substitution];
      const ConnectionRule& chain = generator.ConnectionRules()[origin.connection];
      EXPECT_EQ(rule.FromDegree, PivotDegree(before.key, before.chord)) << i;
      EXPECT_TRUE(harmony::ChordFitsKey(step.key, rule.ToDegree, before.chord)) << i;
      EXPECT_EQ(chain.Degrees[0], rule.ToDegree) << i;
      std::size_t length = 1;
      while (i + length < played.size() && !played[i + length].second.firstOfStretch)
        ++length;
      const Key end = played[i + length - 1].first.key;
      away = end == home ? 0 : away + static_cast<std::int32_t>(length);
      EXPECT_EQ(origin.stepsAway, away) << i;
      EXPECT_LE(away, ProgressionGenerator::MaxDepth - 1);
      modulations += step.key != before.key;
    }
    EXPECT_GT(modulations, 100);
  }
}

TEST(Excursion, FollowsTheKeysFromHomeAndKeepsTheLastPivotUntilAStart) {
  const Key c = Major("C");
  const Key am = Minor("A");
  const Key g = Major("G");
  const Pivot intoAm{Min("D"), c, am};
  const Pivot intoG{Maj("C"), am, g};
  Excursion excursion(c);
  const struct {
    Key home;
    Key key;
    bool start;
    std::optional<Pivot> pivot;
    std::vector<Key> keys;
    std::optional<Pivot> lastPivot;
  } steps[] = {
      {c, c, true, {}, {c}, {}},
      {c, am, false, intoAm, {c, am}, intoAm},
      {c, am, false, {}, {c, am}, intoAm},
      {c, g, false, intoG, {c, am, g}, intoG},
      {c, am, false, {}, {c, am, g, am}, intoG},
      {c, c, false, {}, {c}, intoG},
      {am, am, true, {}, {am}, {}},
      {am, c, false, {}, {am, c}, {}},
  };
  for (const auto& s : steps) {
    StepExplanation explanation;
    explanation.home = s.home;
    explanation.step = Step(s.key, Maj("C"));
    explanation.start = s.start;
    explanation.pivot = s.pivot;
    excursion.Follow(explanation);
    EXPECT_EQ(excursion.Keys(), s.keys) << harmony::KeyName(s.key);
    EXPECT_EQ(excursion.Home(), s.home);
    EXPECT_EQ(excursion.LastPivot().has_value(), s.lastPivot.has_value());
    if (excursion.LastPivot() && s.lastPivot) {
      EXPECT_EQ(PivotText(*excursion.LastPivot()), PivotText(*s.lastPivot));
    }
    ASSERT_TRUE(excursion.Latest());
    EXPECT_EQ(excursion.Latest()->step, explanation.step);
  }
}

}  // namespace
}  // namespace sonavela::generator
