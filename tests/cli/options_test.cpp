// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace sonavela::cli {
namespace {

using ::testing::HasSubstr;

Result<Options> Parse(std::vector<std::string_view> args) {
  return ParseOptions(args);
}

Options ParseOk(std::vector<std::string_view> args) {
  auto result = Parse(args);
  if (!result) {
    ADD_FAILURE() << "unexpected usage error: " << EnglishText(result.error());
    return {};
  }
  return *result;
}

std::string ParseError(std::vector<std::string_view> args) {
  auto result = Parse(args);
  if (!result) {
    return EnglishText(result.error());
  }
  ADD_FAILURE() << "accepted although it should not be";
  return {};
}

TEST(OptionsTest, Defaults) {
  const Options o = ParseOk({});
  EXPECT_EQ(o.action, Action::kPlay);
  EXPECT_EQ(o.device, 0u);
  EXPECT_EQ(o.instrument, 49);
  EXPECT_FALSE(o.minor);
  EXPECT_FALSE(o.rulesFile);
  EXPECT_FALSE(o.steps);
  EXPECT_EQ(o.interval, std::chrono::milliseconds{2000});
  EXPECT_EQ(o.seed, 1u);
  EXPECT_FALSE(o.wavFile);
  EXPECT_FALSE(o.midiFile);
}

TEST(OptionsTest, EveryOptionInBothSpellings) {
  for (const bool joined : {false, true}) {
    SCOPED_TRACE(joined ? "--name=value" : "--name value");
    std::vector<std::string> raw = {"--device",   "3",        "--instrument", "128",
                                    "--rules",    "my.rules", "--steps",      "7",
                                    "--interval", "0",        "--seed",       "4294967295"};
    std::vector<std::string_view> args;
    std::vector<std::string> storage;
    if (joined) {
      for (std::size_t i = 0; i < raw.size(); i += 2) {
        storage.push_back(raw[i] + "=" + raw[i + 1]);
      }
      args.assign(storage.begin(), storage.end());
    } else {
      args.assign(raw.begin(), raw.end());
    }
    args.push_back("--minor");
    const Options o = ParseOk(args);
    EXPECT_EQ(o.device, 3u);
    EXPECT_EQ(o.instrument, 128);
    EXPECT_TRUE(o.minor);
    EXPECT_EQ(o.rulesFile, "my.rules");
    EXPECT_EQ(o.steps, 7u);
    EXPECT_EQ(o.interval, std::chrono::milliseconds{0});
    EXPECT_EQ(o.seed, 4294967295u);
  }
}

TEST(OptionsTest, DeviceNoneAndLaterOptionsWin) {
  EXPECT_EQ(ParseOk({"--device", "none"}).device, std::nullopt);
  EXPECT_EQ(ParseOk({"--device", "none", "--device", "2"}).device, 2u);
  EXPECT_EQ(ParseOk({"--steps", "2", "--steps", "5"}).steps, 5u);
}

TEST(OptionsTest, Actions) {
  EXPECT_EQ(ParseOk({"--help"}).action, Action::kHelp);
  EXPECT_EQ(ParseOk({"-h"}).action, Action::kHelp);
  EXPECT_EQ(ParseOk({"--steps", "3", "--help", "--bogus"}).action, Action::kHelp);
  EXPECT_EQ(ParseOk({"--version"}).action, Action::kVersion);
  EXPECT_EQ(ParseOk({"--list-devices"}).action, Action::kListDevices);
  EXPECT_EQ(ParseOk({"--print-rules"}).action, Action::kPrintRules);
  // --wav's own conditions only matter when something is played.
  EXPECT_EQ(ParseOk({"--wav", "x.wav", "--print-rules"}).action, Action::kPrintRules);
}

TEST(OptionsTest, NumbersAreValidatedStrictly) {
  const struct {
    std::vector<std::string_view> args;
    const char* message;
  } cases[] = {
      {{"--steps", "0"}, "--steps: '0' is not a whole number from 1 to 1000000000"},
      {{"--steps", "3x"}, "--steps: '3x' is not a whole number from 1 to 1000000000"},
      {{"--steps", "-1"}, "--steps: '-1' is not a whole number from 1 to 1000000000"},
      {{"--steps", "+3"}, "--steps: '+3' is not a whole number from 1 to 1000000000"},
      {{"--steps", " 3"}, "--steps: ' 3' is not a whole number from 1 to 1000000000"},
      {{"--steps="}, "--steps: '' is not a whole number from 1 to 1000000000"},
      {{"--steps", "99999999999999999999999"},
       "--steps: '99999999999999999999999' is not a whole number from 1 to 1000000000"},
      {{"--instrument", "0"}, "--instrument: '0' is not a whole number from 1 to 128"},
      {{"--instrument", "129"}, "--instrument: '129' is not a whole number from 1 to 128"},
      {{"--interval", "3600001"}, "--interval: '3600001' is not a whole number from 0 to 3600000"},
      {{"--interval", "1.5"}, "--interval: '1.5' is not a whole number from 0 to 3600000"},
      {{"--seed", "4294967296"}, "--seed: '4294967296' is not a whole number from 0 to 4294967295"},
      {{"--device", "first"},
       "--device: 'first' is neither a device index nor 'none' (see --list-devices)"},
      {{"--device", "-1"},
       "--device: '-1' is neither a device index nor 'none' (see --list-devices)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseError(c.args), c.message);
  }
}

TEST(OptionsTest, MalformedCommandLines) {
  const struct {
    std::vector<std::string_view> args;
    const char* message;
  } cases[] = {
      {{"--bogus"}, "unknown option '--bogus' (see --help)"},
      {{"--bogus=1"}, "unknown option '--bogus' (see --help)"},
      {{"-x"}, "unknown option '-x' (see --help)"},
      {{"play"}, "unexpected argument 'play' (see --help)"},
      {{"-"}, "unexpected argument '-' (see --help)"},
      {{"--steps"}, "option '--steps' needs a value"},
      {{"--minor=yes"}, "option '--minor' takes no value"},
      {{"--rules="}, "--rules: the file name is empty"},
      {{"--list-devices", "--print-rules"}, "--list-devices and --print-rules cannot be combined"},
      {{"--wav", "x.wav"}, "--wav needs --steps, so that the recording has an end"},
      {{"--wav", "x.wav", "--steps", "2", "--device", "1"},
       "--wav renders the built-in synthesizer and cannot be combined with --device"},
      {{"--wav", "x.wav", "--steps", "2", "--interval", "0"},
       "--wav needs an --interval above 0: each chord lasts the interval"},
      {{"--midi="}, "--midi: the file name is empty"},
      {{"--midi"}, "option '--midi' needs a value"},
      {{"--wav", "a/take.wav", "--steps", "2", "--midi", "a/./take.wav"},
       "--wav and --midi name the same file"},
      {{"--wav", "take.mp3"},
       "--wav: 'take.mp3' ends in none of .wav, .flac, .rf64 (or give no extension for WAV)"},
      {{"--pattern", "swing"},
       "--pattern: 'swing' is none of block, arpeggio-up, arpeggio-down, strum, pulse"},
      {{"--humanize", "51"}, "--humanize: '51' is not a whole number from 0 to 50"},
      {{"--interval", "0", "--humanize", "5"},
       "--pattern and --humanize spread a chord over its length: --interval 0 has none"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseError(c.args), c.message);
  }
}

TEST(OptionsTest, CheckRulesTakesAFileOnlyWhereOneIsGiven) {
  const struct {
    std::vector<std::string_view> args;
    std::optional<std::string> file;
    bool minor;
  } cases[] = {
      {{"--check-rules"}, std::nullopt, false},
      {{"--check-rules", "x.rules"}, "x.rules", false},
      {{"--check-rules=x.rules", "--minor"}, "x.rules", true},
      {{"--check-rules", "--minor"}, std::nullopt, true},
  };
  for (const auto& c : cases) {
    const Options o = ParseOk(c.args);
    EXPECT_EQ(o.action, Action::kCheckRules);
    EXPECT_EQ(o.checkRulesFile, c.file);
    EXPECT_EQ(o.minor, c.minor);
  }
  EXPECT_EQ(ParseError({"--check-rules="}), "--check-rules: the file name is empty");
  EXPECT_EQ(ParseError({"--check-rules", "--print-rules"}),
            "--check-rules and --print-rules cannot be combined");
}

TEST(OptionsTest, WavWithStepsIsAccepted) {
  const Options o = ParseOk({"--wav", "out.wav", "--steps", "4", "--interval", "500"});
  EXPECT_EQ(o.wavFile, "out.wav");
  EXPECT_EQ(o.steps, 4u);
}

TEST(OptionsTest, MidiGoesWithEveryWayOfPlaying) {
  const struct {
    std::vector<std::string_view> args;
    std::optional<unsigned> device;
    bool wav;
  } cases[] = {
      {{"--midi", "take.mid"}, 0u, false},
      {{"--midi=take.mid", "--device", "none", "--interval", "0"}, std::nullopt, false},
      {{"--wav", "take.wav", "--steps", "2", "--midi", "take.mid"}, 0u, true},
      {{"--wav", "-", "--steps", "2", "--midi", "take.mid"}, 0u, true},
  };
  for (const auto& c : cases) {
    const Options o = ParseOk(c.args);
    EXPECT_EQ(o.midiFile, "take.mid");
    EXPECT_EQ(o.device, c.device);
    EXPECT_EQ(o.wavFile.has_value(), c.wav);
  }
}

TEST(OptionsTest, HelpNamesEveryOptionWithItsDefault) {
  const std::string help = HelpText();
  for (const char* option :
       {"--device",      "--list-devices", "--instrument",  "--minor",        "--rules",
        "--print-rules", "--steps",        "--interval",    "--seed",         "--wav",
        "--midi",        "--help",         "--version",     "--tempo",        "--beats-per-chord",
        "--sync",        "--clock-from",   "--list-inputs", "--clock-out",    "--key",
        "--voicing",     "--register",     "--channel",     "--bass-channel", "--velocity"}) {
    EXPECT_THAT(help, HasSubstr(option));
  }
  EXPECT_THAT(help, HasSubstr("default 49"));
  EXPECT_THAT(help, HasSubstr("default 2000"));
  EXPECT_THAT(help, HasSubstr("default 1)"));
  EXPECT_THAT(help, HasSubstr("default 4)"));
  EXPECT_THAT(help, HasSubstr("default 0, the built-in"));
}

TEST(OptionsTest, MusicalTimeAndSync) {
  using namespace std::chrono_literals;
  const struct {
    std::vector<std::string_view> args;
    std::chrono::nanoseconds chord;
    Sync sync;
  } accepted[] = {
      {{}, 2s, Sync::kInternal},
      {{"--tempo", "120"}, 2s, Sync::kInternal},
      {{"--tempo", "90", "--beats-per-chord", "3"}, 2s, Sync::kInternal},
      {{"--beats-per-chord", "1"}, 500ms, Sync::kInternal},
      {{"--tempo", "92.5", "--beats-per-chord", "64"}, 41513513514ns, Sync::kInternal},
      {{"--interval", "100"}, 100ms, Sync::kInternal},
      {{"--sync", "jack", "--tempo", "400"}, 600ms, Sync::kJack},
      {{"--sync", "link"}, 2s, Sync::kLink},
      {{"--sync", "midi-clock", "--clock-from", "0"}, 2s, Sync::kMidiClock},
  };
  for (const auto& c : accepted) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const Options o = ParseOk(c.args);
    EXPECT_EQ(o.Meter().Chord(), c.chord);
    EXPECT_EQ(o.sync, c.sync);
  }
  const struct {
    std::vector<std::string_view> args;
    const char* error;
  } refused[] = {
      {{"--tempo", "19.9"}, "--tempo: '19.9' is not a number of beats per minute from 20 to 400"},
      {{"--tempo", "400.5"}, "--tempo: '400.5'"},
      {{"--tempo", "1e2"}, "--tempo: '1e2'"},
      {{"--tempo", "120."}, "--tempo: '120.'"},
      {{"--tempo", "-120"}, "--tempo: '-120'"},
      {{"--beats-per-chord", "0"}, "--beats-per-chord: '0' is not a whole number from 1 to 64"},
      {{"--beats-per-chord", "65"}, "--beats-per-chord: '65'"},
      {{"--interval", "100", "--tempo", "90"},
       "--interval cannot be combined with --tempo or --beats-per-chord"},
      {{"--beats-per-chord", "2", "--interval", "100"}, "--interval cannot be combined"},
      {{"--sync", "ableton"}, "--sync: 'ableton' is none of internal, jack, midi-clock, link"},
      {{"--clock-from", "0"}, "--clock-from needs --sync midi-clock"},
      {{"--sync", "midi-clock"}, "--sync midi-clock needs --clock-from PORT"},
      {{"--sync", "jack", "--wav", "x.wav", "--steps", "1"},
       "--wav renders on its own clock and cannot follow --sync jack"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_THAT(ParseError(c.args), ::testing::StartsWith(c.error));
  }
}

}  // namespace
}  // namespace sonavela::cli

namespace sonavela::cli {
namespace {

TEST(OptionsTest, VoicingChannelsVelocityAndKey) {
  EXPECT_EQ(ParseOk({}).voicing, midi::VoicingSettings{});
  EXPECT_FALSE(ParseOk({}).homeKey);
  const Options o = ParseOk({"--voicing", "open", "--register=48-72", "--channel", "16",
                             "--bass-channel", "2", "--velocity", "127", "--key", "Ebm"});
  EXPECT_EQ(o.voicing, (midi::VoicingSettings{midi::VoicingMode::kOpen, {48, 72}, 16, 2, 127}));
  EXPECT_EQ(o.homeKey, (harmony::Key{{'E', -1}, harmony::kMinor}));
  EXPECT_EQ(ParseOk({"--key", "F#"}).homeKey, (harmony::Key{{'F', 1}, harmony::kMajor}));
  EXPECT_EQ(ParseOk({"--soundfont", "gm.sf2"}).soundFont, "gm.sf2");
  EXPECT_EQ(ParseOk({"--gain", "-12.5", "--reverb", "off", "--chorus=off"}).synth,
            (midi::SynthSound{-12.5, false, false}));

  const struct {
    std::vector<std::string_view> args;
    const char* message;
  } cases[] = {
      {{"--voicing", "Close"}, "--voicing: 'Close' is none of full, close, open, bass-triad"},
      {{"--voicing", "spec"}, "--voicing: 'spec' is none of full, close, open, bass-triad"},
      {{"--register", "60-71"},
       "--register: '60-71' is not LOW-HIGH, two MIDI notes from 0 to 127 at least 12 apart"},
      {{"--register", "60"},
       "--register: '60' is not LOW-HIGH, two MIDI notes from 0 to 127 at least 12 apart"},
      {{"--register", "100-128"},
       "--register: '100-128' is not LOW-HIGH, two MIDI notes from 0 to 127 at least 12 apart"},
      {{"--channel", "0"}, "--channel: '0' is not a whole number from 1 to 16"},
      {{"--bass-channel", "17"}, "--bass-channel: '17' is not a whole number from 0 to 16"},
      {{"--velocity", "0"}, "--velocity: '0' is not a whole number from 1 to 127"},
      {{"--minor", "--key", "Am"}, "--minor is the home key Am: it cannot be combined with --key"},
      {{"--soundfont="}, "--soundfont: the file name is empty"},
      {{"--gain", "20.5"}, "--gain: '20.5' is not a number of decibels from -40 to 20"},
      {{"--gain", "-"}, "--gain: '-' is not a number of decibels from -40 to 20"},
      {{"--reverb", "yes"}, "--reverb: 'yes' is neither on nor off"},
      {{"--key", "H"},
       "--key: 'H' is none of the 32 keys (C, G, ..., Gb; Am, Em, ..., Ebm; as the result lines "
       "write them)"},
      {{"--key", "Fb"},
       "--key: 'Fb' is none of the 32 keys (C, G, ..., Gb; Am, Em, ..., Ebm; as the result lines "
       "write them)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseError(c.args), c.message);
  }
}

}  // namespace
}  // namespace sonavela::cli
