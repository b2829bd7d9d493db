// SPDX-License-Identifier: GPL-3.0-or-later
// What the program tells about its rules and its chords, as a user meets it:
// --check-rules, the warnings that --rules prints, and --explain.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "subprocess.h"

namespace sonavela::cli {
namespace {

using ::testing::HasSubstr;

testing::ProcessResult Cli(const std::vector<std::string>& args) {
  return testing::RunProgram(SONAVELA_CLI_PATH, args);
}

TEST(CliRuleCheckTest, FindingsNameTheFileLineAndKindAndTheStatusTellsWarnings) {
  const testing::ScratchFolder scratch("sonavela-check-");
  const std::string file = (scratch.Path() / "mine.rules").string();
  std::ofstream(file) << "# my rules\n"
                         "[connection]\n"
                         "  80     ?14\n"
                         "  80     ?45\n"
                         "  80     ?51\n"
                         "  10     ?17M\n"
                         "  10     ?18\n"
                         "[substitution]\n"
                         "  10     ?11\n"
                         "  10     ?44\n"
                         "  10     ?55\n"
                         "  10     m33\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> lines;
  } cases[] = {
      {{"--check-rules"}, 0, {}},
      {{"--check-rules", file, "--minor"},
       1,
       {file + ":7: warning: '8' is no degree (1 to 7)",
        file + ":6: warning: ends on G#? (G# B# D) in Am, which no substitution rule "
               "continues from: the progression repeats it until Stop",
        file + ":12: note: never reached from the home key Am"}},
  };
  for (const auto& c : cases) {
    const testing::ProcessResult run = Cli(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    for (const std::string& line : c.lines) {
      EXPECT_THAT(run.out, HasSubstr(line + "\n"));
    }
    if (c.lines.empty()) {
      EXPECT_THAT(run.out, ::testing::Not(HasSubstr("warning")));
    }
  }
  // From both home keys, the lines' own findings once.
  const testing::ProcessResult both = Cli({"--rules", file, "--check-rules"});
  EXPECT_EQ(both.status, 1);
  EXPECT_THAT(both.out, HasSubstr(":6: warning: ends on B? (B D# F) in C,"));
  EXPECT_THAT(both.out, HasSubstr(":6: warning: ends on G#? (G# B# D) in Am,"));
  std::size_t degreeLines = 0;
  for (std::size_t at = 0; (at = both.out.find("'8' is no degree", at)) != std::string::npos;
       ++at) {
    ++degreeLines;
  }
  EXPECT_EQ(degreeLines, 1u);

  // Playing with the file: the warnings of the key that plays, on standard
  // error, and the progression plays all the same.
  const testing::ProcessResult played =
      Cli({"--rules", file, "--device", "none", "--interval", "0", "--steps", "3"});
  EXPECT_EQ(played.status, 0);
  EXPECT_EQ(testing::CountLines(played.out), 3);
  EXPECT_THAT(played.err, HasSubstr("sonavela-cli: " + file + ":7: warning: '8' is no degree"));
  EXPECT_THAT(played.err, HasSubstr(":6: warning: ends on B? (B D# F) in C,"));
  EXPECT_THAT(played.err, ::testing::Not(HasSubstr("note:")));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// Full tables as a script writes them: the check takes no time worth waiting
// for, with --check-rules and before the first chord alike.
TEST(CliRuleCheckTest, FullTablesAreCheckedAtOnce) {
  const testing::ScratchFolder scratch("sonavela-check-full-");
  const std::string file = (scratch.Path() / "full.txt").string();
  {
    std::ofstream out(file);
    std::uint32_t random = 7;
    const auto next = [&random](std::uint32_t below) {
      random = random * 1103515245U + 12345U;
      return (random >> 16) % below;
    };
    const char modes[] = {' ', 'm', '?'};
    out << "[connection]\n";
    for (int i = 0; i < 1000; ++i) {
      out << "  " << 10 + next(90) << "     " << modes[next(3)];
      for (std::uint32_t d = 0, n = 2 + next(3); d < n; ++d) {
        out << 1 + next(7);
      }
      out << "\n";
    }
    out << "[substitution]\n";
    for (int i = 0; i < 1000; ++i) {
      out << "  " << 10 + next(90) << "     " << modes[next(3)] << 1 + next(7) << 1 + next(7)
          << "\n";
    }
  }
  const testing::ProcessResult checked = Cli({"--check-rules", file});
  EXPECT_THAT(checked.out, HasSubstr(": note: never reached from the home key"));
  const testing::ProcessResult played =
      Cli({"--rules", file, "--device", "none", "--interval", "0", "--steps", "2000"});
  EXPECT_EQ(played.status, 0) << played.err;
  EXPECT_EQ(testing::CountLines(played.out), 2000);
  for (const auto& run : {checked, played}) {
    EXPECT_LT(run.elapsed, std::chrono::seconds(5)) << "the check is slow again";
  }
}

// The explanation only adds to each line: cut at its first tab, the output is
// the plain one, byte for byte.
TEST(CliExplainTest, AddsNumeralAndPivotAfterATabAndChangesNothingElse) {
  for (const char* key : {"C", "Am"}) {
    const std::vector<std::string> run{"--device", "none", "--interval", "0",
                                       "--steps",  "300",  "--key",      key};
    std::vector<std::string> explaining = run;
    explaining.push_back("--explain");
    const std::vector<std::string> plain = Lines(Cli(run).out);
    const std::vector<std::string> explained = Lines(Cli(explaining).out);
    ASSERT_EQ(explained.size(), plain.size());
    int pivots = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
      const std::size_t tab = explained[i].find('\t');
      ASSERT_NE(tab, std::string::npos) << explained[i];
      EXPECT_EQ(explained[i].substr(0, tab), plain[i]);
      EXPECT_NE(explained[i].substr(tab + 1, 1), "\t") << explained[i];
      pivots += explained[i].find(" = ") != std::string::npos;
    }
    EXPECT_GT(pivots, 20) << key;
  }
  const std::vector<std::string> c =
      Lines(Cli({"--device", "none", "--interval", "0", "--steps", "4", "--explain"}).out);
  EXPECT_EQ(c, (std::vector<std::string>{
                   "C   : C\tI", "C   : Am\tvi", "C   : Dm\tii",
                   "Am  : E\tV\tDm: ii in C = iv in Am; 1 step away from C, 14 left before "
                   "it must return"}));
}

}  // namespace
}  // namespace sonavela::cli
