// SPDX-License-Identifier: GPL-3.0-or-later
// `sonavela-cli --midi FILE` as a user runs it, the file read back by mido
// (tests/midi/read_midi_file.py), a reader that shares no code with the
// writer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "midi_text.h"
#include "subprocess.h"

namespace sonavela::cli {
namespace {

namespace fs = std::filesystem;
using testing::CountLines;
using ::testing::ElementsAreArray;
using testing::Event;
using testing::MidiText;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::ReadBack;
using ::testing::StartsWith;

const std::string kCli = SONAVELA_CLI_PATH;

ProcessResult Cli(const std::vector<std::string>& args, const ProcessOptions& options = {}) {
  return testing::RunProgram(kCli, args, options);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    lines.push_back(line);
  }
  return lines;
}

constexpr long kBar = 1920;  // 4 x 480 ticks

// What every file must be, whatever ended the run: one bar per chord, each
// chord's line as a marker at its bar, every note-on ended by a note-off at
// the next bar. A run that was stopped in the middle of its last chord ends
// that chord where the stop came (`lastCut`), within its bar. Returns the note
// numbers of each chord.
std::vector<std::multiset<int>> ExpectChordsOnTheirBars(const MidiText& midi,
                                                        const std::vector<std::string>& printed,
                                                        std::uint32_t tempo, int program = 48,
                                                        bool lastCut = false) {
  EXPECT_EQ(midi.format, 0);
  EXPECT_EQ(midi.ticksPerBeat, 480);
  EXPECT_EQ(midi.tracks, 1);
  const auto tempos = midi.Of("set_tempo");
  EXPECT_EQ(tempos.size(), 1u);
  if (!tempos.empty()) {
    EXPECT_EQ(tempos[0]->tick, 0);
    EXPECT_EQ(tempos[0]->numbers, std::vector<int>{static_cast<int>(tempo)});
  }
  const auto programs = midi.Of("program_change");
  EXPECT_EQ(programs.size(), 1u);
  if (!programs.empty()) {
    EXPECT_EQ(programs[0]->tick, 0);
    EXPECT_EQ(programs[0]->numbers, (std::vector<int>{0, program}));
  }

  std::vector<std::string> markers;
  for (const Event* marker : midi.Of("marker")) {
    EXPECT_EQ(marker->tick, static_cast<long>(markers.size()) * kBar) << marker->text;
    markers.push_back(marker->text);
  }
  EXPECT_THAT(markers, ElementsAreArray(printed));

  const long chords = static_cast<long>(printed.size());
  std::vector<std::multiset<int>> on(printed.size());
  std::map<long, std::multiset<int>> off;
  const long cutFrom = (chords - 1) * kBar;
  std::multiset<int> cut;
  for (const Event& e : midi.events) {
    if (lastCut && e.type == "note_off" && e.tick > cutFrom) {
      EXPECT_LE(e.tick, chords * kBar) << "the last chord sounds past its bar";
      cut.insert(e.numbers.at(1));
      continue;
    }
    if (e.type == "note_on" || e.type == "note_off") {
      EXPECT_EQ(e.tick % kBar, 0) << e.type << " off the bar at " << e.tick;
    }
    if (e.type == "note_on") {
      const long chord = e.tick / kBar;
      if (chord >= chords) {
        ADD_FAILURE() << "a note-on after the last chord at " << e.tick;
        continue;
      }
      on[static_cast<std::size_t>(chord)].insert(e.numbers.at(1));
    } else if (e.type == "note_off") {
      off[e.tick].insert(e.numbers.at(1));
    }
  }
  for (long k = 0; k < chords; ++k) {
    SCOPED_TRACE("chord " + std::to_string(k) + " " + printed[static_cast<std::size_t>(k)]);
    EXPECT_FALSE(on[static_cast<std::size_t>(k)].empty());
    const bool isCut = lastCut && k == chords - 1 && !cut.empty();
    EXPECT_EQ(isCut ? cut : off[(k + 1) * kBar], on[static_cast<std::size_t>(k)]);
  }
  std::size_t ends = cut.size();
  for (const auto& [tick, notes] : off) {
    ends += notes.size();
  }
  std::size_t starts = 0;
  for (const auto& notes : on) {
    starts += notes.size();
  }
  EXPECT_EQ(ends, starts) << "a note-off without its note-on";

  if (!midi.events.empty()) {
    EXPECT_EQ(midi.events.back().type, "end_of_track");
    if (lastCut) {
      EXPECT_GT(midi.events.back().tick, cutFrom);
      EXPECT_LE(midi.events.back().tick, chords * kBar);
    } else {
      EXPECT_EQ(midi.events.back().tick, chords * kBar);
    }
  }
  return on;
}

class CliMidiFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_STRNE(SONAVELA_PYTHON3, "")
        << "/usr/bin/python3 was not found; install python3 and python3-mido "
           "(scripts/install-deps.sh) and configure again";
  }

  static MidiText Read(const fs::path& file) {
    MidiText midi = ReadBack(file);
    EXPECT_NE(midi.status, 3) << "python3-mido is missing for " << SONAVELA_PYTHON3;
    EXPECT_EQ(midi.status, 0) << midi.raw;
    return midi;
  }

  // Only the files the test wrote itself: no temporary left behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::ScratchFolder scratch_{"sonavela-cli-midi-"};
  const fs::path& dir_ = scratch_.Path();
};

TEST_F(CliMidiFileTest, TheDefaultProgressionAsFourBars) {
  const fs::path file = dir_ / "out.mid";
  const ProcessResult r =
      Cli({"--device", "none", "--interval", "0", "--steps", "4", "--midi", file.string()});
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "C   : C\nC   : Am\nC   : Dm\nAm  : E\n");
  EXPECT_THAT(Entries(), ElementsAreArray({"out.mid"}));

  const MidiText midi = Read(file);
  // --interval 0 still gives the file the usual 2000 ms chord: 120 BPM.
  const auto chords = ExpectChordsOnTheirBars(midi, Lines(r.out), 500000);
  EXPECT_DOUBLE_EQ(midi.seconds, 8.0);
  ASSERT_EQ(chords.size(), 4u);
  EXPECT_EQ(chords[0], (std::multiset<int>{48, 60, 64, 67, 72, 76, 79, 84, 88, 91, 96}));
  EXPECT_EQ(chords[1], (std::multiset<int>{45, 57, 64, 69, 72, 76, 81, 84, 88, 93, 96}));
  EXPECT_EQ(chords[2], (std::multiset<int>{38, 50, 62, 65, 69, 74, 77, 81, 86, 89, 93}));

  // The head of the track, in the order a sequencer meets it.
  ASSERT_GE(midi.events.size(), 5u);
  EXPECT_EQ(midi.events[0].type, "track_name");
  EXPECT_EQ(midi.events[0].text, "Sonavela");
  EXPECT_EQ(midi.events[1].type, "set_tempo");
  EXPECT_EQ(midi.events[2].type, "time_signature");
  EXPECT_EQ(midi.events[3].type, "program_change");
  EXPECT_EQ(midi.events[4].type, "note_on");
}

TEST_F(CliMidiFileTest, AnInterruptedRunLeavesTheBarsPlayedSoFar) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    const fs::path file = dir_ / "live.mid";
    fs::remove(file);
    ProcessOptions options;
    options.trigger = [](const std::string& out) { return CountLines(out) >= 3; };
    options.signal = signal;
    const ProcessResult r =
        Cli({"--device", "none", "--interval", "100", "--midi", file.string()}, options);
    ASSERT_TRUE(testing::EndedBy(r, signal)) << r.exited << " " << r.status << " " << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> printed = Lines(r.out);
    ASSERT_GE(printed.size(), 3u);
    // 100 ms a chord: a quarter note of 25 ms. The last chord ends where the
    // signal stopped it.
    const MidiText midi = Read(file);
    ExpectChordsOnTheirBars(midi, printed, 25000, 48, true);
    EXPECT_GT(midi.seconds, 0.1 * static_cast<double>(printed.size() - 1));
    EXPECT_LE(midi.seconds, 0.1 * static_cast<double>(printed.size()) + 1e-6);
  }
  EXPECT_THAT(Entries(), ElementsAreArray({"live.mid"}));
}

TEST_F(CliMidiFileTest, AClosedOutputPipeStillSavesTheFile) {
  const fs::path file = dir_ / "piped.mid";
  ProcessOptions options;
  options.trigger = [](const std::string& out) { return CountLines(out) >= 2; };
  options.signal = 0;  // close the pipe, as `| head -2` does
  const ProcessResult r =
      Cli({"--device", "none", "--interval", "5", "--midi", file.string()}, options);
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.status, 0) << r.err;
  const MidiText midi = Read(file);
  // The chord whose line could no longer be printed was played all the same.
  std::vector<std::string> markers;
  for (const Event* marker : midi.Of("marker")) {
    markers.push_back(marker->text);
  }
  const std::vector<std::string> printed = Lines(r.out);
  ASSERT_GE(markers.size(), printed.size());
  ExpectChordsOnTheirBars(midi, markers, 1250, 48, true);
  EXPECT_TRUE(std::equal(printed.begin(), printed.end(), markers.begin()));
}

TEST_F(CliMidiFileTest, WavAndMidiTogether) {
  const fs::path wav = dir_ / "take.wav";
  const fs::path mid = dir_ / "take.mid";
  const ProcessResult r = Cli({"--wav", wav.string(), "--midi", mid.string(), "--steps", "3",
                               "--interval", "500", "--instrument", "1"});
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "C   : C\nC   : Am\nC   : Dm\n");

  std::ifstream in(wav, std::ios::binary);
  std::array<char, 12> riff{};
  in.read(riff.data(), riff.size());
  EXPECT_EQ(std::string(riff.data(), 4), "RIFF");
  EXPECT_EQ(std::string(riff.data() + 8, 4), "WAVE");
  EXPECT_GT(fs::file_size(wav), 44u * 1000u);

  const MidiText midi = Read(mid);
  // --instrument 1 is program 0; the rest as ever, at 500 ms a bar.
  ExpectChordsOnTheirBars(midi, Lines(r.out), 125000, 0);
  ASSERT_FALSE(midi.events.empty());
  EXPECT_DOUBLE_EQ(midi.seconds, 1.5);
  EXPECT_EQ(midi.events.back().tick, 3 * kBar);
}

// Device nodes and FIFOs are made in the scratch folder, never taken from
// /dev: a faulty save renames over its target, and the tests run as root.
TEST_F(CliMidiFileTest, WhatCannotBeWrittenIsRefusedBeforePlayingAndLeftAlone) {
  const fs::path missing = dir_ / "no-such-folder" / "out.mid";
  fs::create_directories(dir_ / "folder.mid");
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path device = dir_ / "null";
  const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  const fs::path toFifo = dir_ / "to-fifo";
  fs::create_symlink(fifo, toFifo);
  const fs::path real = dir_ / "real.mid";
  std::ofstream(real) << "old";
  fs::create_symlink(real, dir_ / "link.mid");
  fs::create_symlink(real, dir_ / "link.wav");

  struct Case {
    std::vector<std::string> args;
    std::string start;
  };
  std::vector<Case> cases{
      {{"--midi", missing.string()},
       "sonavela-cli: --midi: cannot write '" + missing.string() + "': No such file"},
      {{"--midi", (dir_ / "folder.mid").string()}, "sonavela-cli: --midi: cannot write '"},
      {{"--midi", fifo.string()}, "sonavela-cli: --midi: cannot write '" + fifo.string() + "'"},
      {{"--midi", toFifo.string()}, "sonavela-cli: --midi: cannot write '"},
      {{"--wav", fifo.string()}, "sonavela-cli: --wav: cannot write '"},
      {{"--wav", (missing.parent_path() / "out.wav").string()},
       "sonavela-cli: --wav: cannot write '"},
      {{"--wav", (dir_ / "link.wav").string(), "--midi", (dir_ / "link.mid").string()},
       "sonavela-cli: --wav and --midi name the same file"},
      {{"--wav", real.string()}, "sonavela-cli: --wav: '" + real.string() + "' ends in none of"},
  };
  if (haveDevice) {
    cases.push_back({{"--midi", device.string()}, "sonavela-cli: --midi: cannot write '"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const bool wav = c.args.front() == "--wav";
    std::vector<std::string> args{"--interval", wav ? "100" : "0", "--steps", "2"};
    if (!wav) {
      args.insert(args.begin(), {"--device", "none"});
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = Cli(args);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "") << "played although the file could not be kept";
    EXPECT_THAT(r.err, StartsWith(c.start));
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
  }
  EXPECT_FALSE(fs::exists(missing.parent_path()));
  EXPECT_TRUE(fs::is_empty(dir_ / "folder.mid"));
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  if (haveDevice) {
    ASSERT_EQ(::lstat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  std::ifstream in(real);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
}

TEST_F(CliMidiFileTest, ASymbolicLinkToAFileIsFollowedAndTheFileReplaced) {
  const fs::path real = dir_ / "real.mid";
  std::ofstream(real) << "old";
  fs::create_symlink(real, dir_ / "link.mid");
  const ProcessResult r = Cli({"--device", "none", "--interval", "0", "--steps", "2", "--midi",
                               (dir_ / "link.mid").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.mid"));
  ExpectChordsOnTheirBars(Read(real), Lines(r.out), 500000);
  EXPECT_THAT(Entries(), ElementsAreArray({"link.mid", "real.mid"}));
}

}  // namespace
}  // namespace sonavela::cli
