// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/rule_file_io.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "generator/rules.h"
#include "support/why.h"

namespace sonavela::playback {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

RuleLists Defaults() {
  RuleLists lists;
  lists.connection.assign(generator::DefaultConnectionRules.begin(),
                          generator::DefaultConnectionRules.end());
  lists.substitution.assign(generator::DefaultSubstitutionRules.begin(),
                            generator::DefaultSubstitutionRules.end());
  return lists;
}

std::string Text(const RuleLists& lists) {
  return generator::FormatRuleFile(lists.connection, lists.substitution).text;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class RuleFileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("sonavela-rules-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Everything in the directory but the named files: leftovers of a save.
  std::vector<std::string> Strays(std::initializer_list<std::string> expected) const {
    std::vector<std::string> strays;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
        strays.push_back(name);
      }
    }
    return strays;
  }

  fs::path dir_;
};

TEST_F(RuleFileIoTest, WrittenListsReadBackUnchanged) {
  RuleLists odd;
  odd.connection = {"  20     m11M", "   0     ?1234567123456712345"};
  const RuleLists cases[] = {Defaults(), RuleLists{}, odd};
  for (const RuleLists& lists : cases) {
    const std::string path = (dir_ / "rules.txt").string();
    ASSERT_OK(WriteRuleFile(path, lists));
    const generator::RuleFileReading read = ReadRuleFile(path);
    EXPECT_THAT(generator::EnglishTexts(read.problems), IsEmpty());
    EXPECT_EQ(read.tables, lists);
    EXPECT_EQ(Contents(path), Text(lists));
  }
  EXPECT_THAT(Strays({"rules.txt"}), IsEmpty());
}

TEST_F(RuleFileIoTest, AFileThatCannotBeReadIsOneProblem) {
  const struct {
    fs::path path;
    const char* reason;
  } cases[] = {
      {dir_ / "missing.txt", "No such file or directory"},
      {dir_, "it is a folder"},
      {dir_ / "fifo", "not a regular file"},  // refused, not waited on for ever
  };
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  for (const auto& c : cases) {
    const generator::RuleFileReading read = ReadRuleFile(c.path.string());
    EXPECT_THAT(generator::EnglishTexts(read.problems),
                ElementsAre(c.path.string() + ": cannot read: " + std::string(c.reason)));
    EXPECT_EQ(read.tables, RuleLists{});
  }
}

TEST_F(RuleFileIoTest, AMalformedFileGivesItsProblemsAndNoRules) {
  const fs::path path = dir_ / "bad.txt";
  std::ofstream(path) << "# comment\n  40     ?11\n[connection]\n  80     ?51\n";
  const generator::RuleFileReading read = ReadRuleFile(path.string());
  ASSERT_EQ(read.problems.size(), 1u);
  EXPECT_THAT(generator::EnglishTexts(read.problems)[0], StartsWith(path.string() + ":2:"));
  EXPECT_EQ(read.tables, RuleLists{});
}

TEST_F(RuleFileIoTest, AFailedSaveLeavesTheOldFileAndNoLeftovers) {
  const fs::path path = dir_ / "rules.txt";
  const std::string old = "# the user's precious rules\n[connection]\n  80     ?51\n";
  std::ofstream(path) << old;

  // A file-size limit makes the write fail the way a full disk does, even
  // for a user whom permissions would not stop.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tiny = saved;
  tiny.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const std::string error = Why(WriteRuleFile(path.string(), Defaults()));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_THAT(error, StartsWith(path.string() + ": cannot save: "));
  EXPECT_EQ(Contents(path), old);
  EXPECT_THAT(Strays({"rules.txt"}), IsEmpty());
}

TEST_F(RuleFileIoTest, LinesAFileCannotHoldAreRefusedBeforeAnythingIsWritten) {
  const fs::path path = dir_ / "rules.txt";
  std::ofstream(path) << "# old\n";
  RuleLists lists = Defaults();
  lists.connection.push_back("# a comment is no rule");
  EXPECT_THAT(Why(WriteRuleFile(path.string(), lists)),
              StartsWith(path.string() + ": cannot save: "));
  EXPECT_EQ(Contents(path), "# old\n");
  EXPECT_THAT(Strays({"rules.txt"}), IsEmpty());
}

TEST_F(RuleFileIoTest, SavingIntoAMissingDirectoryFailsClearly) {
  const fs::path path = dir_ / "no-such-dir" / "rules.txt";
  EXPECT_EQ(Why(WriteRuleFile(path.string(), Defaults())),
            path.string() + ": cannot save: No such file or directory");
}

}  // namespace
}  // namespace sonavela::playback
