// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/rules.h"

namespace sonavela::generator {
namespace {

std::vector<std::int32_t> Chain(const ConnectionRule& rule) {
  return {rule.Degrees.begin(), rule.Degrees.begin() + static_cast<long>(ChainLength(rule))};
}

TEST(DefaultRules, AreTheQuotedLinesInListOrder) {
  ASSERT_EQ(DefaultConnectionRules.size(), 16u);
  ASSERT_EQ(DefaultSubstitutionRules.size(), 11u);
  EXPECT_EQ(DefaultConnectionRules[0], "  20     m11M");
  EXPECT_EQ(DefaultConnectionRules[6], "  10     m62n");
  EXPECT_EQ(DefaultConnectionRules[7], "  40     ?251");
  EXPECT_EQ(DefaultConnectionRules[15], "  80     ?56");
  EXPECT_EQ(DefaultSubstitutionRules[0], "  40     ?11");
  EXPECT_EQ(DefaultSubstitutionRules[7], "  80      24");
  EXPECT_EQ(DefaultSubstitutionRules[10], "  10      14");
  for (const auto line : DefaultConnectionRules)
    EXPECT_TRUE(ParseConnectionRule(line)) << line;
  for (const auto line : DefaultSubstitutionRules)
    EXPECT_TRUE(ParseSubstitutionRule(line)) << line;
}

struct ConnectionCase {
  std::string line;
  std::int32_t weight;
  char mode;
  std::vector<std::int32_t> degrees;
  char correction;
};

TEST(ParseConnectionRule, ReadsTheFixedColumns) {
  const std::vector<ConnectionCase> cases{
      {"  10     m62n", 10, 'm', {6, 2}, 'n'},
      {"  40     ?251", 40, '?', {2, 5, 1}, ' '},
      {"  20      16M", 20, ' ', {1, 6}, 'M'},
      {"  20     m11M", 20, 'm', {1, 1}, 'M'},
      // A last digit outside 1..7 is the (inert) correction; the chain ends before it.
      {"  30     ?128", 30, '?', {1, 2}, '8'},
      {"  30     ?120", 30, '?', {1, 2}, '0'},
      {"  30     ?129", 30, '?', {1, 2}, '9'},
      // Blank weight columns read as 0 whatever the mode: the degrees are not the weight.
      {"          24", 0, ' ', {2, 4}, ' '},
      {"         ?24", 0, '?', {2, 4}, ' '},
      {"9999     ?12", 9999, '?', {1, 2}, ' '},
      {" -12     ?12", -12, '?', {1, 2}, ' '},
      // The shortest line: one column of rule body.
      {"  10     ?5", 10, '?', {5}, ' '},
      {"  10     ?M", 10, '?', {}, 'M'},
      // A 0 digit ends the chain where it stands.
      {"  10     ?0", 10, '?', {}, '0'},
      {"  10     ?102", 10, '?', {1}, ' '},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto rule = ParseConnectionRule(c.line);
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->Weight, c.weight);
    EXPECT_EQ(rule->Mode, c.mode);
    EXPECT_EQ(Chain(*rule), c.degrees);
    EXPECT_EQ(rule->Correction, c.correction);
  }
}

TEST(ParseConnectionRule, AnyCharacterInTheChainIsADegree) {
  const auto rule = ParseConnectionRule("   1     ?1a9");
  ASSERT_TRUE(rule);
  EXPECT_EQ(Chain(*rule), (std::vector<std::int32_t>{1, 'a' - '0'}));
  EXPECT_EQ(rule->Correction, '9');
  // A byte above 127 counts as negative, as where char is signed.
  const auto high = ParseConnectionRule(std::string("   1     ?1\xE3") + "2");
  ASSERT_TRUE(high);
  EXPECT_EQ(high->Degrees[1], -29 - '0');
}

TEST(ParseConnectionRule, RefusesLinesTooShortForTheColumns) {
  for (const std::string line : {"", "  40", "  40     ", "  40     ?"}) {
    EXPECT_FALSE(ParseConnectionRule(line)) << '"' << line << '"';
  }
}

TEST(ParseConnectionRule, CutsChainsToNineteenDegrees) {
  const std::string body(25, '3');
  const auto rule = ParseConnectionRule("  10     ?" + body + "M");
  ASSERT_TRUE(rule);
  EXPECT_EQ(ChainLength(*rule), kMaxChainDegrees);
  EXPECT_EQ(rule->Degrees[kMaxChainDegrees], 0);
  EXPECT_EQ(rule->Correction, 'M');
  const auto exact = ParseConnectionRule("  10     ?" + std::string(19, '4'));
  ASSERT_TRUE(exact);
  EXPECT_EQ(ChainLength(*exact), 19u);
}

TEST(ParseSubstitutionRule, ReadsTheFixedColumns) {
  struct Case {
    std::string line;
    std::int32_t weight;
    char mode;
    std::int32_t from;
    std::int32_t to;
  };
  const std::vector<Case> cases{
      {"  80      24", 80, ' ', 2, 4},
      {"  80     m64", 80, 'm', 6, 4},
      {"  40     ?11", 40, '?', 1, 1},
      {"  40     ?11xyz", 40, '?', 1, 1},  // anything after column 11 is ignored
      {"          24", 0, ' ', 2, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto rule = ParseSubstitutionRule(c.line);
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->Weight, c.weight);
    EXPECT_EQ(rule->Mode, c.mode);
    EXPECT_EQ(rule->FromDegree, c.from);
    EXPECT_EQ(rule->ToDegree, c.to);
  }
  for (const std::string line : {"", "  40     ?1", "  40     ?", "  40"}) {
    EXPECT_FALSE(ParseSubstitutionRule(line)) << '"' << line << '"';
  }
}

TEST(RemoveTrailingWhiteSpace, RemovesTheSixWhiteSpaceCharactersAtTheEndOnly) {
  EXPECT_EQ(RemoveTrailingWhiteSpace("  40     ?11 \t\r\n\v\f"), "  40     ?11");
  EXPECT_EQ(RemoveTrailingWhiteSpace("  40     ?11"), "  40     ?11");
  EXPECT_EQ(RemoveTrailingWhiteSpace(" \t "), "");
  EXPECT_EQ(RemoveTrailingWhiteSpace(""), "");
  const auto trailing = ParseConnectionRule(RemoveTrailingWhiteSpace("  40     ?251 \t "));
  ASSERT_TRUE(trailing);
  EXPECT_EQ(trailing->Correction, ' ');
  EXPECT_EQ(ChainLength(*trailing), 3u);
}

TEST(ParseLeadingInt, ReadsLikeAtoi) {
  const std::vector<std::pair<std::string, std::int32_t>> cases{
      {"  20", 20},
      {"20xyz", 20},
      {"", 0},
      {"    ", 0},
      {"abc", 0},
      {" -7", -7},
      {"+15", 15},
      {"- 5", 0},
      {"\t\n 49", 49},
      {"0049", 49},
      {"2147483647", 2147483647},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& [text, value] : cases)
    EXPECT_EQ(ParseLeadingInt(text), value) << text;
}

TEST(FormatRuleLine, RightAlignsTheFirstFourWeightCharacters) {
  EXPECT_EQ(FormatRuleLine("20", "m11M"), "  20     m11M");
  EXPECT_EQ(FormatRuleLine("80", " 24"), "  80      24");
  EXPECT_EQ(FormatRuleLine("12345", "?11"), "1234     ?11");
  EXPECT_EQ(FormatRuleLine("", "?11"), "         ?11");
  EXPECT_EQ(FormatRuleLine("7 \t", " 24  \t"), "   7      24");
  EXPECT_EQ(FormatRuleLine(" 5", "?11"), "   5     ?11");
  for (const auto line : DefaultConnectionRules) {
    EXPECT_EQ(FormatRuleLine(line.substr(0, 4), line.substr(9)), line);
  }
}

TEST(EffectiveWeight, CountsNegativeWeightsAsZero) {
  EXPECT_EQ(EffectiveWeight(-5), 0);
  EXPECT_EQ(EffectiveWeight(0), 0);
  EXPECT_EQ(EffectiveWeight(80), 80);
}

}  // namespace
}  // namespace sonavela::generator
