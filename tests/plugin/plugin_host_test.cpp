// SPDX-License-Identifier: GPL-3.0-or-later
// What the plugin does for a user, in the tests' lilv host: the chords of
// sonavela-cli, rule files taken or refused, state saved and restored, and a
// real-time path that allocates nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "cli/subprocess.h"
#include "lv2_host.h"
#include "plugin_test_support.h"

namespace sonavela::plugin::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

// The note-ons of a --midi file, chord by chord, as mido reads them.
std::vector<Notes> CliChords(std::uint32_t seed, bool minor, const fs::path& rules,
                             const fs::path& dir, std::size_t steps,
                             const std::vector<std::string>& more = {}) {
  const fs::path file = dir / "cli.mid";
  std::vector<std::string> args{
      "--device",   "none", "--seed", std::to_string(seed), "--steps", std::to_string(steps),
      "--interval", "0",    "--midi", file.string()};
  if (minor) {
    args.push_back("--minor");
  }
  args.insert(args.end(), more.begin(), more.end());
  if (!rules.empty()) {
    args.insert(args.end(), {"--rules", rules.string()});
  }
  const cli::testing::ProcessResult r = cli::testing::RunProgram(SONAVELA_CLI_PATH, args);
  EXPECT_TRUE(r.exited && r.status == 0) << r.err;
  const std::string command = std::string("'") + SONAVELA_PYTHON3 + "' '" + SONAVELA_MIDI_READER +
                              "' '" + file.string() + "' 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  std::array<char, 512> buffer{};
  while (pipe != nullptr && std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
    text += buffer.data();
  }
  const int status = pipe == nullptr ? -1 : ::pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << SONAVELA_PYTHON3 << ": " << text;
  std::map<long, Notes> byTick;
  for (const std::string& line : Lines(text)) {
    std::istringstream fields(line);
    long tick = 0;
    long delta = 0;
    std::string type;
    int channel = 0;
    int note = 0;
    int velocity = 0;
    if (fields >> tick >> delta >> type >> channel >> note >> velocity && type == "note_on" &&
        velocity > 0) {
      byTick[tick].push_back(note);
    }
  }
  std::vector<Notes> chords;
  for (auto& [tick, notes] : byTick) {
    chords.push_back(notes);
  }
  return chords;
}

class PluginHostTest : public ::testing::Test {
 protected:
  cli::testing::ScratchFolder scratch_{"sonavela-plugin-host-"};
  const fs::path& dir_ = scratch_.Path();
};

::testing::Matcher<LogRecord> Error(const std::string& text) {
  return AllOf(Field(&LogRecord::type, "Error"), Field(&LogRecord::text, HasSubstr(text)));
}

TEST_F(PluginHostTest, PlaysTheChordsOfTheCli) {
  constexpr std::size_t kSteps = 12;
  constexpr std::int64_t kRoll = 4096;
  constexpr std::int64_t kRelocation = kRoll + 4 * kChordOfOneBeat + 1000;
  const fs::path rules = dir_ / "own.txt";
  WriteFile(rules, kOwnRules);
  ASSERT_NE(CliChords(7, false, rules, dir_, kSteps), CliChords(7, false, {}, dir_, kSteps))
      << "the rule file of the tests plays the default progression";
  struct Case {
    std::uint32_t seed;
    bool minor;
    bool ownRules;
    // The sound and key controls, and the same on the command line.
    std::vector<std::pair<Control, float>> controls;
    std::vector<std::string> options;
  };
  const std::vector<Case> cases{
      {7, false, false, {}, {}},
      {7, true, false, {}, {}},
      {16777215, false, false, {}, {}},
      {16777215, true, false, {}, {}},
      {7, false, true, {}, {}},
      {3,
       false,
       false,
       {{Control::kKey, 11}, {Control::kVoicing, 1}, {Control::kChannel, 3}},
       {"--key", "B", "--voicing", "close", "--channel", "3"}},
      {3,
       true,
       false,
       {{Control::kKey, 4},
        {Control::kVoicing, 2},
        {Control::kRegisterLow, 48},
        {Control::kRegisterHigh, 76},
        {Control::kBassChannel, 2},
        {Control::kVelocity, 100}},
       {"--key", "Gm", "--voicing", "open", "--register", "48-76", "--bass-channel", "2",
        "--velocity", "100"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "seed " << c.seed << (c.minor ? " minor" : "") << (c.ownRules ? " rules" : "")
                 << " " << ::testing::PrintToString(c.options));
    Lv2Host host;
    host.SetControl(Control::kSeed, static_cast<float>(c.seed));
    host.SetControl(Control::kMinor, c.minor ? 1.0f : 0.0f);
    host.SetControl(Control::kBeatsPerChord, 1);
    for (const auto& [control, value] : c.controls) {
      host.SetControl(control, value);
    }
    RollAt(host, kRoll);
    if (!c.ownRules) {
      host.RunUntil(kRoll + kSteps * kChordOfOneBeat - 1024, 1024);
      // --key names the minor key itself.
      EXPECT_EQ(Chords(host, 0, kSteps),
                CliChords(c.seed, c.minor && c.options.empty(), {}, dir_, kSteps, c.options));
    } else {
      // Taken for the next start from bar 1, not for the progression that
      // is playing.
      host.SendRuleFile(kRoll + kChordOfOneBeat / 2, rules.string());
      host.SendPosition(kRelocation, kBar1);
      host.RunUntil(kRelocation + kSteps * kChordOfOneBeat - 1024, 1024);
      EXPECT_EQ(Chords(host, 0, 4), CliChords(c.seed, c.minor, {}, dir_, 4));
      EXPECT_EQ(Chords(host, kRelocation, kSteps), CliChords(c.seed, c.minor, rules, dir_, kSteps));
      EXPECT_THAT(host.RuleFileEchoes(), ElementsAre(rules.string()));
    }
    EXPECT_THAT(host.Log(), IsEmpty());
  }
}

TEST_F(PluginHostTest, ARuleFileThatCannotBeTakenIsReportedAndTheTablesStay) {
  const std::vector<Notes>& chords = DefaultProgression();
  ASSERT_GE(chords.size(), 4u);
  const fs::path bad = dir_ / "bad.txt";
  WriteFile(bad, "[connection]\n  80     ?16\n  80     \n[substitution]\n  40     ?1\n");
  const fs::path missing = dir_ / "missing.txt";
  struct Case {
    fs::path path;
    std::vector<::testing::Matcher<const std::vector<LogRecord>&>> log;
  };
  const std::vector<Case> cases{
      {bad, {::testing::Contains(Error("bad.txt:3: ")), ::testing::Contains(Error("bad.txt:5: "))}},
      {missing, {ElementsAre(Error(missing.string() + ": cannot read: "))}},
      {dir_, {ElementsAre(Error(dir_.string() + ": cannot read: "))}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Lv2Host host;
    host.SetControl(Control::kBeatsPerChord, 1);
    host.SendRuleFile(kChordOfOneBeat / 2, c.path.string());
    host.SendPosition(60000, kBar1);
    host.RunUntil(60000 + 4 * kChordOfOneBeat - 512, 512);
    for (const auto& matcher : c.log) {
      EXPECT_THAT(host.Log(), matcher);
    }
    // The host is told that the defaults are still in use.
    EXPECT_THAT(host.RuleFileEchoes(), ElementsAre(""));
    EXPECT_EQ(Chords(host, 60000, 4), std::vector<Notes>(chords.begin(), chords.begin() + 4));
  }
}

// A file with a rule that can never work is taken, and the host's log says why.
TEST_F(PluginHostTest, TheWarningsOfATakenRuleFileReachTheLog) {
  const fs::path rules = dir_ / "trap.txt";
  WriteFile(rules,
            "[connection]\n  80     ?14\n  80     ?45\n  80     ?51\n  10     ?17M\n"
            "[substitution]\n  10     ?11\n  10     ?44\n  10     ?55\n");
  Lv2Host host;
  host.SendRuleFile(0, rules.string());
  host.RunUntil(4096, 512);
  EXPECT_THAT(host.RuleFileEchoes(), ElementsAre(rules.string()));
  EXPECT_THAT(host.Log(),
              ElementsAre(AllOf(Field(&LogRecord::type, "Warning"),
                                Field(&LogRecord::text, HasSubstr("trap.txt:5: warning: ends on B? "
                                                                  "(B D# F) in C,")))));
}

// From `start` on, with frames counted from there: what a start plays.
std::vector<Group> FromStart(const Lv2Host& host, std::int64_t start) {
  std::vector<Group> groups;
  for (Group g : Groups(host)) {
    if (g.frame >= start) {
      g.frame -= start;
      groups.push_back(g);
    }
  }
  return groups;
}

TEST_F(PluginHostTest, StateKeepsTheTablesAndTheControls) {
  constexpr std::int64_t kStart = 48000;
  constexpr std::int64_t kEnd = kStart + 8 * 2 * kChordOfOneBeat - 1024;
  const std::array<std::pair<Control, float>, 4> controls{{{Control::kSeed, 5},
                                                           {Control::kMinor, 1},
                                                           {Control::kInstrument, 20},
                                                           {Control::kBeatsPerChord, 2}}};
  const auto play = [&](Lv2Host& host) {
    RollAt(host, kStart);
    host.RunUntil(kEnd, 1024);
    return FromStart(host, kStart);
  };
  const fs::path rules = dir_ / "own.txt";
  WriteFile(rules, kOwnRules);
  const fs::path state = dir_ / "state";

  Lv2Host original;
  for (const auto& [control, value] : controls) {
    original.SetControl(control, value);
  }
  original.SendRuleFile(0, rules.string());
  original.RunUntil(4096, 1024);
  ASSERT_THAT(original.RuleFileEchoes(), ElementsAre(rules.string()));
  original.SaveState(state);
  // The state must hold the tables themselves, not the name of the file.
  fs::remove(rules);
  const std::vector<Group> played = play(original);

  Lv2Host defaults;
  for (const auto& [control, value] : controls) {
    defaults.SetControl(control, value);
  }
  const std::vector<Group> byDefault = play(defaults);
  ASSERT_NE(byDefault, played);

  Lv2Host restored({.restoreFrom = state});
  for (const auto& [control, value] : controls) {
    EXPECT_EQ(restored.GetControl(control), value);
  }
  EXPECT_EQ(play(restored), played);
  // The rule file parameter names where the tables came from.
  EXPECT_THAT(restored.RuleFileEchoes(), ElementsAre(rules.string()));
  EXPECT_THAT(restored.Log(), IsEmpty());

  // A state whose tables have a problem is refused, and the defaults play.
  const fs::path file = state / "state.ttl";
  std::ifstream in(file);
  std::string text{std::istreambuf_iterator<char>(in), {}};
  in.close();
  const std::size_t at = text.find("[connection]");
  ASSERT_NE(at, std::string::npos) << text;
  text.replace(at, 12, "[connexion]");
  WriteFile(file, text);
  Lv2Host refused({.restoreFrom = state});
  EXPECT_EQ(play(refused), byDefault);
  EXPECT_THAT(refused.Log(), ElementsAre(Error("connexion")));
}

TEST_F(PluginHostTest, RunAndWorkResponseAllocateNothing) {
  {
    // The counter sees what it must: operator new, and malloc by name.
    const long before = AllocatorCalls(Region::kRealtime);
    {
      // Stores through a volatile pointer, so that no call is optimised away.
      static void* volatile escaped = nullptr;
      const CountingRegion region(Region::kRealtime);
      const auto held = std::make_unique<int>(1);
      escaped = held.get();
      escaped = std::malloc(16);
      std::free(escaped);
    }
    ASSERT_EQ(AllocatorCalls(Region::kRealtime) - before, 4);
  }
  const fs::path rules = dir_ / "own.txt";
  WriteFile(rules, kOwnRules);
  constexpr double kFast = 300.0;  // 9600 frames a chord of one beat
  Lv2Host host;
  host.SetControl(Control::kBeatsPerChord, 1);
  // A led voicing on channels of its own, changed between the starts.
  host.SetControl(Control::kVoicing, 1);
  host.SetControl(Control::kBassChannel, 2);
  // A pattern, loosened, which the real-time thread plays itself.
  host.SetControl(Control::kPattern, 1);
  host.SetControl(Control::kHumanize, 10);
  host.SendPosition(0, {0, 0.0, kFast, 1.0});
  host.SendPosition(100000, {2, 2.25, 240.0, 1.0});
  host.SendPosition(200000, {20, 1.5, 240.0, 1.0});
  host.SendRuleFile(250000, rules.string());
  host.SendPosition(300000, {21, 3.0, 240.0, 0.0});
  host.SendPosition(350000, {0, 0.0, kFast, 1.0});
  host.SendPosition(500000, {0, 0.0, kFast, 1.0});
  host.SendPosition(600000, {3, 0.0, kFast, 1.0});

  const long realtimeBefore = AllocatorCalls(Region::kRealtime);
  const long workerBefore = AllocatorCalls(Region::kWorker);
  for (int cycle = 0; cycle < 10000; ++cycle) {
    if (host.Frame() == 320000) {
      host.SetControl(Control::kVoicing, 2);
    }
    host.RunCycle(64);
  }
  EXPECT_EQ(AllocatorCalls(Region::kRealtime) - realtimeBefore, 0);
  // Reading the rule file allocates: proof that the plugin's own calls are
  // counted at all.
  EXPECT_GT(AllocatorCalls(Region::kWorker) - workerBefore, 0);
  EXPECT_THAT(host.RuleFileEchoes(), ElementsAre(rules.string()));
  EXPECT_GE(Chords(host, 0, 1000).size(), 50u);
  EXPECT_THAT(host.Log(), IsEmpty());
}

// A pattern spreads each chord over the host's beats: the pulse strikes on
// every beat, the arpeggio on every sixteenth, and humanizing moves each
// note a little late of its place.
}  // namespace
}  // namespace sonavela::plugin::testing
