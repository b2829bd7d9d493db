// SPDX-License-Identifier: GPL-3.0-or-later
// How the chords sound and in which key they go, as a user asks for it on
// the command line, checked in the --midi file that mido reads back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "midi_text.h"
#include "subprocess.h"

namespace sonavela::cli {
namespace {

using ::testing::StartsWith;

TEST(CliSoundTest, KeyVoicingChannelsAndVelocityReachTheFile) {
  const testing::ScratchFolder scratch("sonavela_sound_");
  const std::string file = (scratch.Path() / "close.mid").string();
  const testing::ProcessResult run = testing::RunProgram(
      SONAVELA_CLI_PATH,
      {"--device", "none", "--interval", "0", "--steps", "8", "--key", "Eb", "--voicing", "close",
       "--channel", "3", "--bass-channel", "2", "--velocity", "90", "--midi", file});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, StartsWith("Eb  : Eb\n"));

  const testing::MidiText midi = testing::ReadBack(file);
  ASSERT_EQ(midi.status, 0) << midi.raw;
  // mido numbers channels from 0: the chords on 2, the bass on 1.
  std::map<long, std::vector<int>> upper;
  std::map<long, int> bass;
  int noteOffs = 0;
  for (const testing::Event& e : midi.events) {
    if (e.type == "note_on") {
      ASSERT_EQ(e.numbers.size(), 3u);
      EXPECT_EQ(e.numbers[2], 90);
      EXPECT_TRUE(e.numbers[0] == 2 || e.numbers[0] == 1) << e.numbers[0];
      if (e.numbers[0] == 1) {
        bass[e.tick] = e.numbers[1];
      } else {
        upper[e.tick].push_back(e.numbers[1]);
      }
    } else if (e.type == "note_off") {
      ++noteOffs;
    }
  }
  ASSERT_EQ(upper.size(), 8u);
  EXPECT_EQ(bass.size(), 8u);
  EXPECT_EQ(noteOffs, 8 * 4) << "each chord's notes end with note-offs";
  // Eb major in root position over its root: Eb G Bb above Eb.
  const std::set<int> first(upper.begin()->second.begin(), upper.begin()->second.end());
  EXPECT_EQ(first, (std::set<int>{63, 67, 70}));
  EXPECT_EQ(bass.begin()->second, 51);
}

// A SoundFont that cannot be used is one line: played live, the progression
// goes on silently; a render has nothing to render with, as with any other
// bad option.
TEST(CliSoundTest, AMissingSoundFontIsOneLineAndLivePlayGoesOnSilently) {
  const testing::ScratchFolder scratch("sonavela_soundfont_");
  const std::string wav = (scratch.Path() / "x.wav").string();
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"--steps", "2", "--interval", "0"}, 0, "; playing silently"},
      {{"--steps", "2", "--wav", wav}, 2, "cannot render"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"--soundfont", "/nonexistent/gm.sf2"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::ProcessResult run = testing::RunProgram(SONAVELA_CLI_PATH, args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(testing::CountLines(run.err), 1) << run.err;
    EXPECT_THAT(run.err, ::testing::HasSubstr("\"/nonexistent/gm.sf2\""));
    EXPECT_THAT(run.err, ::testing::HasSubstr(c.says));
  }
}

// The RMS amplitude sox measures in a file, or -1 when it cannot.
double RmsOf(const std::string& file) {
  const std::string command = std::string("'") + SONAVELA_SOX + "' '" + file + "' -n stat 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  std::array<char, 256> line{};
  while (pipe != nullptr && std::fgets(line.data(), line.size(), pipe) != nullptr) {
    text += line.data();
  }
  if (pipe != nullptr) {
    ::pclose(pipe);
  }
  const std::size_t at = text.find("RMS     amplitude:");
  return at == std::string::npos ? -1.0 : std::stod(text.substr(at + 18));
}

TEST(CliSoundTest, GainReverbAndChorusShapeTheRender) {
  const testing::ScratchFolder scratch("sonavela_gain_");
  const auto render = [&](const std::string& name, std::vector<std::string> more) {
    const std::string file = (scratch.Path() / name).string();
    std::vector<std::string> args{"--steps", "2", "--interval", "500", "--wav", file};
    args.insert(args.end(), more.begin(), more.end());
    const testing::ProcessResult run = testing::RunProgram(SONAVELA_CLI_PATH, args);
    EXPECT_EQ(run.status, 0) << run.err;
    return RmsOf(file);
  };
  const double plain = render("plain.wav", {});
  ASSERT_GT(plain, 0.0) << SONAVELA_SOX;
  EXPECT_NEAR(render("quiet.wav", {"--gain", "-6"}) / plain, 0.501, 0.02);
  EXPECT_NEAR(render("loud.wav", {"--gain=+6"}) / plain, 1.995, 0.08);
  // Reverb and chorus add their wet signal to the dry one.
  EXPECT_LT(render("dry.wav", {"--reverb", "off", "--chorus", "off"}), plain * 0.9);
}

// A pattern plays in musical time through the whole session: rendered
// offline, the file that mido reads has its note-ons on the pattern's grid,
// and humanizing moves notes, never the progression.
TEST(CliSoundTest, PatternsAndHumanizeFollowTheBeatIntoTheFile) {
  const testing::ScratchFolder scratch("sonavela_pattern_");
  const struct {
    std::vector<std::string> args;
    int onsetsPerChord;  // distinct note-on ticks in each 4-beat chord
    int grid;            // in fractions of a beat; 0: loose
  } cases[] = {
      {{"--pattern", "pulse"}, 4, 1},
      {{"--pattern", "arpeggio-down", "--voicing", "close"}, 16, 4},
      {{"--humanize", "20"}, 0, 0},
  };
  std::string plainLines;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const std::string midiFile = (scratch.Path() / "p.mid").string();
    std::vector<std::string> args{
        "--steps", "3",     "--tempo", "120",
        "--seed",  "5",     "--wav",   (scratch.Path() / "p.wav").string(),
        "--midi",  midiFile};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::ProcessResult run = testing::RunProgram(SONAVELA_CLI_PATH, args);
    ASSERT_EQ(run.status, 0) << run.err;
    if (plainLines.empty()) {
      plainLines = run.out;
    }
    EXPECT_EQ(run.out, plainLines) << "the progression does not change";
    const testing::MidiText midi = testing::ReadBack(midiFile);
    ASSERT_EQ(midi.status, 0) << midi.raw;
    const long chordTicks = 4L * midi.ticksPerBeat;
    std::map<long, std::set<long>> onsets;  // chord -> ticks
    for (const testing::Event* e : midi.Of("note_on")) {
      if (e->numbers.size() == 3 && e->numbers[2] > 0) {
        onsets[e->tick / chordTicks].insert(e->tick % chordTicks);
      }
    }
    ASSERT_EQ(onsets.size(), 3u);
    for (const auto& [chord, ticks] : onsets) {
      if (c.grid == 0) {
        EXPECT_GT(ticks.size(), 3u) << "the notes of a chord are not all at once";
        EXPECT_LE(*ticks.rbegin(), midi.ticksPerBeat / 20) << "at most 20 ms late";
        continue;
      }
      EXPECT_EQ(ticks.size(), static_cast<std::size_t>(c.onsetsPerChord)) << chord;
      for (const long tick : ticks) {
        EXPECT_EQ(tick % (midi.ticksPerBeat / c.grid), 0) << tick;
      }
    }
  }
  const testing::ProcessResult refused = testing::RunProgram(
      SONAVELA_CLI_PATH, {"--interval", "0", "--steps", "2", "--pattern", "strum"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_THAT(refused.err, ::testing::HasSubstr("--interval 0"));
}

// The same render as a WAV file, a FLAC file and a WAV stream that sox reads
// from a pipe: one sound, as sox decodes each; with the sound on standard
// output the lines go to standard error.
TEST(CliSoundTest, EveryFormatAndThePipeHoldTheSameSound) {
  const testing::ScratchFolder scratch("sonavela_formats_");
  const std::string dir = scratch.Path().string();
  const std::string args = " --steps 2 --interval 500 --seed 3 --wav ";
  const std::string cli = SONAVELA_CLI_PATH;
  const std::string sox = SONAVELA_SOX;
  const testing::ProcessResult wav = testing::RunProgram(
      cli, {"--steps", "2", "--interval", "500", "--seed", "3", "--wav", dir + "/a.wav"});
  ASSERT_EQ(wav.status, 0) << wav.err;
  const struct {
    std::string command;
    std::string file;
    std::string type;
  } cases[] = {
      {cli + args + dir + "/b.flac", dir + "/b.flac", "flac"},
      {cli + args + "- 2>" + dir + "/lines | " + sox + " -t wav - " + dir + "/c.wav",
       dir + "/c.wav", "wav"},
  };
  const auto samples = [&](const std::string& file) {
    return testing::RunProgram("/bin/sh", {"-c", sox + " " + file + " -t raw -e signed -b 16 -"});
  };
  const testing::ProcessResult reference = samples(dir + "/a.wav");
  ASSERT_EQ(reference.status, 0) << reference.err;
  ASSERT_GT(reference.out.size(), 4U * 44100U) << "at least a second of sound";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const testing::ProcessResult run = testing::RunProgram("/bin/sh", {"-c", c.command});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "sox reads the stream without a complaint";
    const testing::ProcessResult type =
        testing::RunProgram("/bin/sh", {"-c", sox + " --i -t " + c.file});
    EXPECT_EQ(type.out, c.type + "\n");
    const testing::ProcessResult decoded = samples(c.file);
    EXPECT_TRUE(decoded.out == reference.out) << decoded.out.size() << " " << reference.out.size();
  }
  const testing::ProcessResult lines = testing::RunProgram("/bin/cat", {dir + "/lines"});
  EXPECT_EQ(lines.out, wav.out);
}

// A reader gone before the first byte (`| true`) is a closed pipe like any
// other: status 0, not a word.
TEST(CliSound, AReaderThatLeftBeforeTheHeaderIsNoFailure) {
  const testing::ScratchFolder scratch("sonavela_gone_reader_");
  const std::string dir = scratch.Path().string();
  const testing::ProcessResult run = testing::RunProgram(
      "/bin/sh", {"-c", "{ sleep 0.3; " + std::string(SONAVELA_CLI_PATH) + " --steps 2 --wav - 2>" +
                            dir + "/err; echo $? >" + dir + "/status; } | true"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::RunProgram("/bin/cat", {dir + "/status"}).out, "0\n");
  EXPECT_EQ(testing::RunProgram("/bin/cat", {dir + "/err"}).out, "");
}

}  // namespace
}  // namespace sonavela::cli
