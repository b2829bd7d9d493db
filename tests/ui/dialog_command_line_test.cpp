// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog's program as a shell starts it: what it answers without a
// display, and what it refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "subprocess.h"

namespace sonavela::ui {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(DialogCommandLine, AnswersHelpAndVersionWithoutADisplayAndRefusesWhatItDoesNotKnow) {
  cli::testing::ProcessOptions noDisplay;
  noDisplay.env = {"QT_QPA_PLATFORM=xcb", "DISPLAY=:4242", "WAYLAND_DISPLAY="};
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"--version"}, 0, "sonavela 1.", ""},
      {{"--help"}, 0, "Usage: sonavela [OPTION]...", ""},
      {{"-h"}, 0, "Usage: sonavela [OPTION]...", ""},
  };
  for (const auto& c : cases) {
    const cli::testing::ProcessResult r =
        cli::testing::RunProgram(SONAVELA_DIALOG_PATH, c.args, noDisplay);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_THAT(r.out, StartsWith(c.out));
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_THAT(cli::testing::RunProgram(SONAVELA_DIALOG_PATH, {"--version"}, noDisplay).out,
              HasSubstr("License GPLv3+"));

  cli::testing::ProcessOptions offscreen;
  offscreen.env = {"QT_QPA_PLATFORM=offscreen"};
  const cli::testing::ProcessResult bad =
      cli::testing::RunProgram(SONAVELA_DIALOG_PATH, {"--steps", "3"}, offscreen);
  EXPECT_TRUE(bad.exited);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  // Qt may say something of its own first.
  const struct {
    std::vector<std::string> args;
    const char* said;
  } languages[] = {{{"--lang=fr"}, "sonavela: --lang: 'fr' is neither en nor ja\n"},
                   {{"--lang"}, "sonavela: option '--lang' needs a value: en or ja\n"}};
  for (const auto& c : languages) {
    const cli::testing::ProcessResult badLanguage =
        cli::testing::RunProgram(SONAVELA_DIALOG_PATH, c.args, offscreen);
    EXPECT_EQ(badLanguage.status, 2);
    EXPECT_THAT(badLanguage.err, ::testing::EndsWith(c.said));
  }
  EXPECT_THAT(bad.err,
              ::testing::EndsWith("sonavela: unknown option '--steps' (see sonavela --help)\n"));
}

}  // namespace
}  // namespace sonavela::ui
