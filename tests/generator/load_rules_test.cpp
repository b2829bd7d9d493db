// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/load_rules.h"
#include "generator_test_support.h"

namespace sonavela::generator {
namespace {

using harmony::Major;
using harmony::Minor;

TEST(LoadRules, LoadsTheDefaultTablesInListOrder) {
  for (const bool minor : {false, true}) {
    ProgressionGenerator generator;
    const LoadReport report = LoadDefaults(generator, minor);
    EXPECT_TRUE(report.Clean());
    EXPECT_EQ(generator.HomeKey(), minor ? Minor("A") : Major("C"));
    ASSERT_EQ(generator.ConnectionRules().size(), 16u);
    ASSERT_EQ(generator.SubstitutionRules().size(), 11u);
    for (std::size_t i = 0; i < 16; ++i) {
      const auto expected = ParseConnectionRule(DefaultConnectionRules[i]);
      const ConnectionRule& got = generator.ConnectionRules()[i];
      EXPECT_EQ(got.Weight, expected->Weight);
      EXPECT_EQ(got.Mode, expected->Mode);
      EXPECT_EQ(got.Degrees, expected->Degrees);
      EXPECT_EQ(got.Correction, expected->Correction);
    }
    EXPECT_EQ(generator.SubstitutionRules()[7].FromDegree, 2);
    EXPECT_EQ(generator.SubstitutionRules()[7].ToDegree, 4);
    EXPECT_EQ(generator.SubstitutionRules()[8].Mode, 'm');
  }
}

TEST(LoadRules, ReadsEveryLineAndEmptyTablesLeaveNothing) {
  ProgressionGenerator generator;
  const std::vector<std::string> connection{"  80     ?16", "  40     ?251"};
  const std::vector<std::string> substitution{"  40     ?11", "  40     ?22", "  40     ?33"};
  EXPECT_TRUE(LoadRules(generator, connection, substitution, false).Clean());
  ASSERT_EQ(generator.ConnectionRules().size(), 2u);
  EXPECT_EQ(generator.ConnectionRules()[1].Degrees[2], 1);
  EXPECT_EQ(generator.SubstitutionRules().size(), 3u);

  EXPECT_TRUE(
      LoadRules(generator, std::vector<std::string>{}, std::vector<std::string>{}, true).Clean());
  EXPECT_TRUE(generator.ConnectionRules().empty());
  EXPECT_TRUE(generator.SubstitutionRules().empty());
  EXPECT_EQ(generator.HomeKey(), Minor("A"));
}

TEST(LoadRules, RemovesTrailingWhiteSpaceBeforeParsing) {
  ProgressionGenerator generator;
  const std::vector<std::string> connection{"  40     ?251 \t\r"};
  const std::vector<std::string> substitution{"  40     ?11   "};
  EXPECT_TRUE(LoadRules(generator, connection, substitution, false).Clean());
  ASSERT_EQ(generator.ConnectionRules().size(), 1u);
  EXPECT_EQ(ChainLength(generator.ConnectionRules()[0]), 3u);
  EXPECT_EQ(generator.ConnectionRules()[0].Correction, ' ');
}

TEST(LoadRules, SkipsAndCountsLinesTooShortToParse) {
  ProgressionGenerator generator;
  const std::vector<std::string> connection{"  40     ", "  40     ?16", "  40     ?  ", "   5"};
  const std::vector<std::string> substitution{"  40     ?1", "  40     ?11"};
  const LoadReport report = LoadRules(generator, connection, substitution, false);
  EXPECT_EQ(report.shortConnectionLines, 3u);
  EXPECT_EQ(report.shortSubstitutionLines, 1u);
  EXPECT_FALSE(report.Clean());
  EXPECT_EQ(generator.ConnectionRules().size(), 1u);
  EXPECT_EQ(generator.SubstitutionRules().size(), 1u);
}

TEST(LoadRules, IgnoresAndCountsRulesBeyondTheCapacity) {
  ProgressionGenerator generator;
  std::vector<std::string> connection(RuleCapacity + 5, "  10     ?15");
  connection[RuleCapacity - 1] = "  77     ?16";
  connection.emplace_back();
  std::vector<std::string> substitution(RuleCapacity + 1, "  10     ?11");
  substitution.emplace_back();
  const LoadReport report = LoadRules(generator, connection, substitution, false);
  EXPECT_EQ(report.ignoredConnectionRules, 5u);
  EXPECT_EQ(report.ignoredSubstitutionRules, 1u);
  ASSERT_EQ(generator.ConnectionRules().size(), RuleCapacity);
  EXPECT_EQ(generator.ConnectionRules().back().Weight, 77);
  EXPECT_EQ(generator.SubstitutionRules().size(), RuleCapacity);
}

TEST(LoadRules, CutsChainsLongerThanNineteenDegreesAndSaysSo) {
  ProgressionGenerator generator;
  const std::vector<std::string> connection{"  10     ?" + std::string(22, '5') + "1M",
                                            "  10     ?" + std::string(19, '5')};
  const LoadReport report = LoadRules(generator, connection, std::vector<std::string>{}, false);
  EXPECT_EQ(report.cutConnectionChains, 1u);
  EXPECT_FALSE(report.Clean());
  ASSERT_EQ(generator.ConnectionRules().size(), 2u);
  EXPECT_EQ(ChainLength(generator.ConnectionRules()[0]), kMaxChainDegrees);
  EXPECT_EQ(generator.ConnectionRules()[0].Correction, 'M');
  EXPECT_EQ(ChainLength(generator.ConnectionRules()[1]), kMaxChainDegrees);
}

TEST(LoadRules, ReplacesEarlierTablesAndHomeKey) {
  ProgressionGenerator generator;
  LoadDefaults(generator, true);
  const std::vector<std::string> connection{"  33     ?45"};
  EXPECT_TRUE(LoadRules(generator, connection, std::vector<std::string>{}, false).Clean());
  ASSERT_EQ(generator.ConnectionRules().size(), 1u);
  EXPECT_EQ(generator.ConnectionRules()[0].Weight, 33);
  EXPECT_TRUE(generator.SubstitutionRules().empty());
  EXPECT_EQ(generator.HomeKey(), Major("C"));
}

TEST(LoadRules, ReadsTheTablesOfARuleFile) {
  ProgressionGenerator generator;
  const RuleTables tables{{"  80     ?16"}, {"  40     ?11", "  40     ?1"}};
  const LoadReport report = LoadRules(generator, tables, false);
  EXPECT_EQ(generator.ConnectionRules().size(), 1u);
  EXPECT_EQ(generator.SubstitutionRules().size(), 1u);
  EXPECT_EQ(report.shortSubstitutionLines, 1u);
}

}  // namespace
}  // namespace sonavela::generator
