// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "generator/rule_file.h"
#include "generator/rules.h"
#include "generator_test_support.h"

namespace sonavela::generator {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

TEST(ParseRuleFile, ReadsBothSectionsIgnoringCommentsAndEmptyLines) {
  const std::string text =
      "# my rules\n"
      "\n"
      "[connection]\n"
      "  80     ?16\n"
      "  40     ?251   \r\n"
      "   \t\n"
      "# a comment with UTF-8: \xE3\x82\xB3\xE3\x83\xBC\xE3\x83\x89\n"
      "[substitution]\r\n"
      "  40     ?11\n"
      "  80      24";  // no final newline
  const RuleFileReading reading = ParseRuleFile(text, "rules.txt");
  EXPECT_TRUE(reading.Ok());
  EXPECT_THAT(reading.tables.connection, ElementsAre("  80     ?16", "  40     ?251"));
  EXPECT_THAT(reading.tables.substitution, ElementsAre("  40     ?11", "  80      24"));
}

TEST(ParseRuleFile, LinesEndInLfCrLfOrALoneCr) {
  for (const std::string eol : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(::testing::PrintToString(eol));
    const std::string good = "[connection]" + eol + "  80     ?16" + eol + eol + "  40     ?251" +
                             eol + "[substitution]" + eol + "  40     ?11";
    const RuleFileReading reading = ParseRuleFile(good, "r.txt");
    ASSERT_TRUE(reading.Ok()) << EnglishTexts(reading.problems).front();
    EXPECT_THAT(reading.tables.connection, ElementsAre("  80     ?16", "  40     ?251"));
    EXPECT_THAT(reading.tables.substitution, ElementsAre("  40     ?11"));
    // Line numbers count the same whichever ending is used.
    const RuleFileReading bad =
        ParseRuleFile("[connection]" + eol + eol + "  80     ?1x\x01" + eol, "r.txt");
    EXPECT_THAT(EnglishTexts(bad.problems), ElementsAre(HasSubstr("r.txt:3: control character")));
  }
  // Mixed endings, as after editing on two systems.
  EXPECT_THAT(
      ParseRuleFile("[connection]\r  80     ?16\r\n  40     ?25\n", "r.txt").tables.connection,
      ElementsAre("  80     ?16", "  40     ?25"));
}

TEST(ParseRuleFile, WarnsOfEachTableFromWhichNothingCanBeChosen) {
  const std::string kRepeat = ": the progression will repeat one chord";
  const std::string kNoConnection = "r.txt: no connection rule in this file" + kRepeat;
  const std::string kNoSubstitution = "r.txt: no substitution rule in this file" + kRepeat;
  const auto noneChosen = [](const char* table) {
    return HasSubstr(std::string("r.txt: no ") + table + " rule in this file can ever be chosen");
  };
  struct Case {
    const char* name;
    std::string text;
    std::vector<::testing::Matcher<std::string>> warnings;
  };
  const std::string subst = "[substitution]\n  40     ?11\n";
  const std::string conn = "[connection]\n  80     ?16\n";
  const std::vector<Case> cases{
      {"empty file", "", {kNoConnection, kNoSubstitution}},
      {"comments only", "# nothing yet\n\n", {kNoConnection, kNoSubstitution}},
      {"sections without rules",
       "[connection]\n[substitution]\n",
       {kNoConnection, kNoSubstitution}},
      {"zero and negative weights",
       "[connection]\n   0     ?14\n  -4     ?15\n" + subst,
       {noneChosen("connection")}},
      {"modes no key has",
       "[connection]\n  80     x16\n  80     M14\n" + subst,
       {noneChosen("connection")}},
      {"chains with no chord after the pivot",
       "[connection]\n  80     ?1M\n  80     ?5\n" + subst,
       {noneChosen("connection")}},
      {"from-degrees no pivot has",
       conn + "[substitution]\n  40     ?01\n  40     ?81\n",
       {noneChosen("substitution")}},
      {"one usable rule among unusable ones",
       "[connection]\n   0     ?14\n  80     ?16\n" + subst,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RuleFileReading reading = ParseRuleFile(c.text, "r.txt");
    EXPECT_TRUE(reading.Ok());
    EXPECT_THAT(EnglishTexts(reading.warnings), ElementsAreArray(c.warnings));
  }
  // A file with problems loads nothing and is reported by its problems alone.
  EXPECT_THAT(EnglishTexts(ParseRuleFile("  40     ?11\n", "r.txt").warnings), IsEmpty());
}

TEST(ParseRuleFile, MessagesShowTheUsersBytesPrintably) {
  const RuleFileReading reading = ParseRuleFile("[co\x1b[2Jnn\xFF]\n", "\xE8\xA6\x8F\x07.txt");
  EXPECT_THAT(
      EnglishTexts(reading.problems),
      ElementsAre(HasSubstr("\xE8\xA6\x8F\\x07.txt:1: unknown section \"[co\\x1b[2Jnn\\xff]\"")));
  EXPECT_THAT(EnglishTexts(ParseRuleFile("", "a\nb").warnings), Each(StartsWith("a\\x0ab: ")));
}

TEST(ParseRuleFile, AMissingSectionGivesAnEmptyTable) {
  const RuleFileReading reading = ParseRuleFile("[substitution]\n  40     ?11\n", "r.txt");
  EXPECT_TRUE(reading.Ok());
  EXPECT_TRUE(reading.tables.connection.empty());
  EXPECT_EQ(reading.tables.substitution.size(), 1u);
  EXPECT_TRUE(ParseRuleFile("", "r.txt").Ok());
  EXPECT_TRUE(ParseRuleFile("\xEF\xBB\xBF# BOM first\n[connection]\n  10     ?15\n", "r.txt").Ok());
}

TEST(ParseRuleFile, ReportsEveryProblemWithFileAndLineAndLoadsNothing) {
  const std::string text =
      "  40     ?11\n"                    // 1: before any section
      "[connection]\n"                    // 2
      "  80     ?16\n"                    // 3: fine
      "  80     ?1\xC3\xA9\n"             // 4: non-ASCII
      "  80     \n"                       // 5: too short
      "  80     ?12345671234567123456\n"  // 6: 20 degrees
      "  80     ?1234567123456712345M\n"  // 7: 19 degrees and a correction: fine
      "[chords]\n"                        // 8: unknown section
      "  10     ?15\n"                    // 9: inside the unknown section, not reported again
      "[substitution]\n"                  // 10
      "  40     ?1\n"                     // 11: too short
      "  40     ?1\t2\n"                  // 12: control character
      "abcd     m11\n"                    // 13: no weight
      "9999999999 62\n"                   // 14: a weight beyond its columns
      " -20     ?12\n"                    // 15: fine
      "  4-     ?12\n";                   // 16: no weight
  const RuleFileReading reading = ParseRuleFile(text, "rules.txt");
  EXPECT_FALSE(reading.Ok());
  EXPECT_TRUE(reading.tables.connection.empty());
  EXPECT_TRUE(reading.tables.substitution.empty());
  ASSERT_EQ(reading.problems.size(), 10u);
  EXPECT_THAT(EnglishTexts(reading.problems)[0],
              HasSubstr("rules.txt:1: rule line before any section"));
  EXPECT_THAT(EnglishTexts(reading.problems)[1], HasSubstr("rules.txt:4: non-ASCII"));
  EXPECT_THAT(EnglishTexts(reading.problems)[2],
              HasSubstr("rules.txt:5: connection rule line too short"));
  EXPECT_THAT(EnglishTexts(reading.problems)[3], HasSubstr("rules.txt:6: chain of 20 degrees"));
  EXPECT_THAT(EnglishTexts(reading.problems)[4],
              HasSubstr("rules.txt:8: unknown section \"[chords]\""));
  EXPECT_THAT(EnglishTexts(reading.problems)[5],
              HasSubstr("rules.txt:11: substitution rule line too short"));
  EXPECT_THAT(EnglishTexts(reading.problems)[6], HasSubstr("rules.txt:12: control character"));
  EXPECT_THAT(EnglishTexts(reading.problems)[7], HasSubstr("rules.txt:13: columns 0-3 hold no"));
  EXPECT_THAT(EnglishTexts(reading.problems)[8], HasSubstr("rules.txt:14: columns 4-8 are not"));
  EXPECT_THAT(EnglishTexts(reading.problems)[9], HasSubstr("rules.txt:16: columns 0-3 hold no"));
}

TEST(ParseRuleFile, RefusesMoreThanTheCapacityOnce) {
  std::string text = "[connection]\n";
  for (std::size_t i = 0; i < RuleCapacity + 3; ++i)
    text += "  10     ?15\n";
  text += "[substitution]\n  40     ?11\n";
  const RuleFileReading reading = ParseRuleFile(text, "big.txt");
  ASSERT_EQ(reading.problems.size(), 1u);
  EXPECT_EQ(EnglishTexts(reading.problems)[0], "big.txt:1002: more than 1000 connection rules");

  std::string full = "[connection]\n";
  for (std::size_t i = 0; i < RuleCapacity; ++i)
    full += "  10     ?15\n";
  EXPECT_TRUE(ParseRuleFile(full, "full.txt").Ok());
}

TEST(FormatRuleFile, ReadsBackToTheSameLines) {
  const auto connection = ListLines(DefaultConnectionRules);
  const auto substitution = ListLines(DefaultSubstitutionRules);
  const RuleFileWriting writing = FormatRuleFile(connection, substitution);
  ASSERT_TRUE(writing.Ok());
  EXPECT_TRUE(writing.text.starts_with("# Sonavela rule tables\n"));
  const RuleFileReading reading = ParseRuleFile(writing.text, "defaults.txt");
  ASSERT_TRUE(reading.Ok());
  EXPECT_EQ(reading.tables.connection,
            std::vector<std::string>(DefaultConnectionRules.begin(), DefaultConnectionRules.end()));
  EXPECT_EQ(reading.tables.substitution, std::vector<std::string>(DefaultSubstitutionRules.begin(),
                                                                  DefaultSubstitutionRules.end()));
}

TEST(FormatRuleFile, WritesEmptyTablesAndDropsBlankLines) {
  const std::vector<std::string> none;
  const std::vector<std::string> withBlank{"  40     ?11  ", "   ", ""};
  const RuleFileWriting writing = FormatRuleFile(none, withBlank);
  ASSERT_TRUE(writing.Ok());
  const RuleFileReading reading = ParseRuleFile(writing.text, "x.txt");
  ASSERT_TRUE(reading.Ok());
  EXPECT_TRUE(reading.tables.connection.empty());
  EXPECT_THAT(reading.tables.substitution, ElementsAre("  40     ?11"));
}

TEST(FormatRuleFile, RefusesLinesAFileCannotHold) {
  const std::vector<std::string> connection{"#123     ?16", "  10     ?1\xC3\xA9", "  10     ?15"};
  const std::vector<std::string> substitution{"  40     ?1", "[abc     ?11"};
  const RuleFileWriting writing = FormatRuleFile(connection, substitution);
  EXPECT_FALSE(writing.Ok());
  EXPECT_TRUE(writing.text.empty());
  EXPECT_THAT(writing.problems,
              ElementsAre(HasSubstr("connection rule 1: a rule line may not start with \"#\""),
                          HasSubstr("connection rule 2: non-ASCII"),
                          HasSubstr("substitution rule 1: substitution rule line too short"),
                          HasSubstr("substitution rule 2: a rule line may not start with \"[\"")));
}

}  // namespace
}  // namespace sonavela::generator
