// SPDX-License-Identifier: GPL-3.0-or-later
// sonavela-cli run as a user runs it: a separate process, its output, its
// exit status, its reaction to signals and to a reader that goes away.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "subprocess.h"

namespace sonavela::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::CountLines;
using ::testing::HasSubstr;
using testing::ProcessOptions;
using testing::ProcessResult;
using ::testing::StartsWith;

const std::string kCli = SONAVELA_CLI_PATH;

ProcessResult Cli(const std::vector<std::string>& args, const ProcessOptions& options = {}) {
  return testing::RunProgram(kCli, args, options);
}

class CliEndToEndTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) const {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  testing::ScratchFolder scratch_{"sonavela-cli-"};
  const fs::path& dir_ = scratch_.Path();
};

// The program's own lines on standard error. The MIDI libraries it loads
// (ALSA, JACK, FluidSynth) may add chatter of their own while probing the
// devices of the machine.
std::vector<std::string> OwnLines(const std::string& err) {
  std::vector<std::string> own;
  std::istringstream lines(err);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.starts_with("sonavela-cli: ")) {
      own.push_back(line);
    }
  }
  return own;
}

void ExpectCleanExit(const ProcessResult& r) {
  EXPECT_TRUE(r.exited) << "killed by signal " << r.status;
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(CliEndToEndTest, PrintsTheDefaultProgression) {
  const ProcessResult r = Cli({"--device", "none", "--interval", "0", "--steps", "3"});
  ExpectCleanExit(r);
  EXPECT_EQ(r.out, "C   : C\nC   : Am\nC   : Dm\n");
  EXPECT_EQ(r.err, "");

  const ProcessResult minor = Cli({"--device=none", "--interval=0", "--steps=2", "--minor"});
  ExpectCleanExit(minor);
  EXPECT_EQ(minor.out, "Am  : Am\nAm  : F\n");
}

TEST_F(CliEndToEndTest, HelpAndVersion) {
  const ProcessResult help = Cli({"--help"});
  ExpectCleanExit(help);
  EXPECT_THAT(help.out, StartsWith("Usage: sonavela-cli [OPTION]..."));
  EXPECT_THAT(help.out, HasSubstr("--interval MS"));
  const ProcessResult version = Cli({"--version"});
  ExpectCleanExit(version);
  // "sonavela-cli 1.2.3", then the licence
  EXPECT_THAT(version.out, StartsWith("sonavela-cli "));
  EXPECT_THAT(version.out, HasSubstr("\nLicense GPLv3+: GNU GPL version 3 or later"));
  const std::string number = version.out.substr(13, version.out.find('\n') + 1 - 13);
  EXPECT_EQ(std::count(number.begin(), number.end(), '.'), 2) << version.out;
  EXPECT_EQ(number.find_first_not_of("0123456789.\n"), std::string::npos) << version.out;
  EXPECT_TRUE(number.ends_with("\n") && !number.starts_with("."));
}

TEST_F(CliEndToEndTest, BadInputIsOneLineOnStandardErrorAndStatusTwo) {
  const std::string malformed = Write("bad.rules", "[connection]\n  80     ?51\n[chords]\n");
  const std::string missing = (dir_ / "missing.rules").string();
  const struct {
    std::vector<std::string> args;
    std::string start;
  } cases[] = {
      {{"--frobnicate"}, "sonavela-cli: unknown option '--frobnicate'"},
      {{"--steps", "3x"}, "sonavela-cli: --steps: '3x' is not a whole number"},
      {{"--interval", "-5"}, "sonavela-cli: --interval: '-5' is not a whole number"},
      {{"--instrument", "200"}, "sonavela-cli: --instrument: '200' is not a whole number"},
      {{"--device", "4000000", "--steps", "1"}, "sonavela-cli: no MIDI output device 4000000"},
      {{"--wav", "x.wav"}, "sonavela-cli: --wav needs --steps"},
      {{"--device", "none", "--rules", malformed}, "sonavela-cli: " + malformed + ":3:"},
      {{"--device", "none", "--rules", missing},
       "sonavela-cli: " + missing + ": cannot read: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    const ProcessResult r = Cli(c.args);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> own = OwnLines(r.err);
    ASSERT_EQ(own.size(), 1u) << r.err;
    EXPECT_THAT(own[0], StartsWith(c.start));
  }
  EXPECT_THAT(Cli({"--device", "4000000"}).err, HasSubstr("--list-devices"));
}

TEST_F(CliEndToEndTest, RuleFilesReplaceTheDefaultTables) {
  // Empty tables: the tonic repeats, with the blank key letter from the second
  // line on.
  const std::string empty =
      Write("empty.rules", "# nothing at all\n[connection]\n[substitution]\n");
  const ProcessResult major =
      Cli({"--device", "none", "--interval", "0", "--steps", "3", "--rules", empty});
  ExpectCleanExit(major);
  EXPECT_EQ(major.out, "C   : C\n    : C\n    : C\n");
  const ProcessResult minor =
      Cli({"--device", "none", "--interval", "0", "--steps", "3", "--rules", empty, "--minor"});
  ExpectCleanExit(minor);
  EXPECT_EQ(minor.out, "Am  : Am\n m  : Am\n m  : Am\n");

  // The printed default tables, read back, play exactly the defaults.
  const ProcessResult printed = Cli({"--print-rules"});
  ExpectCleanExit(printed);
  EXPECT_THAT(printed.out, HasSubstr("[connection]\n"));
  EXPECT_THAT(printed.out, HasSubstr("  80     ?56\n"));
  const std::string defaults = Write("defaults.rules", printed.out);
  const std::vector<std::string> run = {"--device", "none", "--interval", "0", "--steps", "40"};
  std::vector<std::string> withFile = run;
  withFile.insert(withFile.end(), {"--rules", defaults});
  const ProcessResult a = Cli(run);
  const ProcessResult b = Cli(withFile);
  ExpectCleanExit(b);
  EXPECT_EQ(CountLines(a.out), 40);
  EXPECT_EQ(a.out, b.out);
}

TEST_F(CliEndToEndTest, RuleFilesThatCannotWorkAreToldAboutAndNothingHangs) {
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    int status;
    std::string err;  // the program's own lines on standard error
  } cases[] = {
      {Write("empty.rules", ""), 0,
       "sonavela-cli: warning: " + (dir_ / "empty.rules").string() +
           ": no connection rule in this file: the progression will repeat one chord\n"
           "sonavela-cli: warning: " +
           (dir_ / "empty.rules").string() +
           ": no substitution rule in this file: the progression will repeat one chord\n"
           "sonavela-cli: " +
           (dir_ / "empty.rules").string() +
           ": warning: no rule leads on from the tonic of C: the progression repeats it until "
           "Stop\n"},
      // A FIFO is refused at once, not waited on for ever.
      {(dir_ / "fifo").string(), 2,
       "sonavela-cli: " + (dir_ / "fifo").string() + ": cannot read: not a regular file\n"},
      // The user's bytes never drive the terminal.
      {Write("escape.rules", "[\x1b[2J\x07screen]\n"), 2,
       "sonavela-cli: " + (dir_ / "escape.rules").string() +
           ":1: unknown section \"[\\x1b[2J\\x07screen]\"; expected [connection] or "
           "[substitution]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const ProcessResult r =
        Cli({"--device", "none", "--interval", "0", "--steps", "2", "--rules", c.path});
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
  }
  // Old-Mac line ends read as lines.
  const ProcessResult printed = Cli({"--print-rules"});
  std::string mac = printed.out;
  std::replace(mac.begin(), mac.end(), '\n', '\r');
  const std::vector<std::string> run{"--device", "none", "--interval", "0", "--steps", "20"};
  std::vector<std::string> withMac = run;
  withMac.insert(withMac.end(), {"--rules", Write("mac.rules", mac)});
  const ProcessResult r = Cli(withMac);
  ExpectCleanExit(r);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Cli(run).out);
}

TEST_F(CliEndToEndTest, AFullDiskIsToldWhenItHappensAndTheOldFileStays) {
  const fs::path file = dir_ / "take.mid";
  Write("take.mid", "old take");
  // A file-size limit fails the writes the way a full disk does.
  const ProcessResult r = testing::RunProgram(
      "/usr/bin/prlimit", {"--fsize=2000", kCli, "--device", "none", "--interval", "0", "--steps",
                           "200", "--midi", file.string()});
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(CountLines(r.out), 200) << "the music goes on";
  EXPECT_EQ(r.err, "sonavela-cli: cannot write '" + file.string() + "': File too large\n");
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old take");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
      << "no temporary file left";
}

TEST_F(CliEndToEndTest, SeedChoosesTheRandomSequence) {
  const std::vector<std::string> run = {"--device", "none", "--interval", "0", "--steps", "30"};
  auto with = [&](const std::string& seed) {
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--seed", seed});
    return Cli(args).out;
  };
  const std::string standard = Cli(run).out;
  EXPECT_EQ(with("1"), standard);
  EXPECT_NE(with("12345"), standard);
  EXPECT_EQ(with("12345"), with("12345"));
}

TEST_F(CliEndToEndTest, ListsDevicesWithTheBuiltInSynthesizerFirst) {
  const ProcessResult r = Cli({"--list-devices"});
  ExpectCleanExit(r);
  std::istringstream lines(r.out);
  std::string line;
  int index = 0;
  while (std::getline(lines, line)) {
    EXPECT_THAT(line, StartsWith(std::to_string(index) + "\t"));
    EXPECT_GT(line.size(), std::to_string(index).size() + 1);
    ++index;
  }
  EXPECT_GE(index, 1);
  EXPECT_THAT(r.out, StartsWith("0\tBuilt-in synthesizer"));
}

TEST_F(CliEndToEndTest, ADeviceThatCannotOpenPlaysSilently) {
  ProcessOptions options;
  options.env = {"SONAVELA_AUDIO_DRIVER=no-such-audio-driver"};
  const ProcessResult r = Cli({"--interval", "0", "--steps", "3"}, options);
  ExpectCleanExit(r);
  EXPECT_EQ(r.out, "C   : C\nC   : Am\nC   : Dm\n");
  const std::vector<std::string> own = OwnLines(r.err);
  ASSERT_EQ(own.size(), 1u) << r.err;
  EXPECT_THAT(own[0], StartsWith("sonavela-cli: cannot open MIDI output device 0 (Built-in"));
  EXPECT_THAT(own[0], ::testing::EndsWith("; playing silently"));
}

TEST_F(CliEndToEndTest, ChordsFollowTheInterval) {
  const ProcessResult r = Cli({"--device", "none", "--interval", "100", "--steps", "5"});
  ExpectCleanExit(r);
  EXPECT_EQ(CountLines(r.out), 5);
  // Five chords of 100 ms each: the last one is given its full interval too.
  EXPECT_GE(r.elapsed, 500ms);
  EXPECT_LT(r.elapsed, 1500ms);
}

TEST_F(CliEndToEndTest, SignalsStopCleanlyAndAtOnce) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    ProcessOptions options;
    // One chord every 10 s: only a wait that wakes on the signal ends quickly.
    options.trigger = [](const std::string& out) { return CountLines(out) >= 1; };
    options.signal = signal;
    const ProcessResult r = Cli({"--device", "none", "--interval", "10000"}, options);
    EXPECT_TRUE(testing::EndedBy(r, signal)) << r.exited << " " << r.status;
    EXPECT_EQ(r.out, "C   : C\n");
    EXPECT_EQ(r.err, "");
    EXPECT_LT(r.elapsed, 3s);
  }
}

TEST_F(CliEndToEndTest, AClosedOutputPipeStopsCleanly) {
  ProcessOptions options;
  options.trigger = [](const std::string& out) { return CountLines(out) >= 3; };
  options.signal = 0;  // close the pipe, as `| head -3` does
  const ProcessResult r = Cli({"--device", "none", "--interval", "5"}, options);
  ExpectCleanExit(r);
  EXPECT_EQ(r.err, "");
}

struct WavInfo {
  int channels = 0;
  int sampleRate = 0;
  int bits = 0;
  std::vector<std::int16_t> samples;
};

WavInfo ReadWav(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  WavInfo info;
  auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  auto u16 = [&](std::size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, bytes.data() + at, 2);
    return v;
  };
  if (bytes.size() < 12 || std::string(bytes.data(), 4) != "RIFF" ||
      std::string(bytes.data() + 8, 4) != "WAVE") {
    ADD_FAILURE() << "not a RIFF/WAVE file";
    return info;
  }
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::string id(bytes.data() + at, 4);
    const std::uint32_t size = u32(at + 4);
    if (id == "fmt ") {
      info.channels = u16(at + 10);
      info.sampleRate = static_cast<int>(u32(at + 12));
      info.bits = u16(at + 22);
    } else if (id == "data") {
      const std::size_t count = std::min<std::size_t>(size, bytes.size() - at - 8) / 2;
      info.samples.resize(count);
      std::memcpy(info.samples.data(), bytes.data() + at + 8, count * 2);
    }
    at += 8 + size + (size & 1);
  }
  return info;
}

TEST_F(CliEndToEndTest, WavRendersEveryChordForTheInterval) {
  const fs::path wav = dir_ / "out.wav";
  const ProcessResult r = Cli({"--wav", wav.string(), "--steps", "3", "--interval", "500"});
  ExpectCleanExit(r);
  EXPECT_EQ(r.out, "C   : C\nC   : Am\nC   : Dm\n");
  const WavInfo info = ReadWav(wav);
  ASSERT_EQ(info.channels, 2);
  ASSERT_EQ(info.bits, 16);
  ASSERT_GT(info.sampleRate, 0);
  const double seconds = static_cast<double>(info.samples.size()) / info.channels / info.sampleRate;
  // Three chords, then the last one's release and reverb, at most 5 s.
  EXPECT_GT(seconds, 1.5);
  EXPECT_LE(seconds, 6.5);
  // Sound in every chord's stretch, not only somewhere in the file.
  const std::size_t third = static_cast<std::size_t>(info.sampleRate / 2 * info.channels);
  for (int chord = 0; chord < 3; ++chord) {
    int peak = 0;
    for (std::size_t i = chord * third; i < (chord + 1) * third; ++i) {
      peak = std::max(peak, std::abs(static_cast<int>(info.samples[i])));
    }
    EXPECT_GT(peak, 1000) << "chord " << chord << " is silent";
  }
}

TEST_F(CliEndToEndTest, WavIntoAnImpossiblePlaceFails) {
  const fs::path wav = dir_ / "no-such-dir" / "out.wav";
  const ProcessResult r = Cli({"--wav", wav.string(), "--steps", "2", "--interval", "100"});
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 2) << "refused before anything was rendered";
  EXPECT_THAT(r.err, StartsWith("sonavela-cli: --wav: cannot write '" + wav.string() + "': "));
  EXPECT_EQ(CountLines(r.err), 1);
}

}  // namespace
}  // namespace sonavela::cli
