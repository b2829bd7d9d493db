// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the command line asks for, once its options are read.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "harmony/note.h"
#include "midi/devices/synth/synth_config.h"
#include "midi/files/audio_writer.h"
#include "midi/port/midi_port.h"
#include "playback/licence.h"
#include "playback/playback_control.h"
#include "timing/chord_clock.h"
#include "timing/sync_settings.h"

namespace sonavela::cli {

inline constexpr std::string_view kProgramName = "sonavela-cli";

inline constexpr int kDefaultInstrument = playback::kInstrumentAtStart;
inline constexpr std::chrono::milliseconds kDefaultInterval = timing::kStepPeriod;
inline constexpr std::uint32_t kDefaultSeed = 1;
// Generous, but small enough that steps x interval cannot overflow anything.
inline constexpr std::uint64_t kMaxSteps = 1'000'000'000;
inline constexpr std::int64_t kMaxIntervalMs = 3'600'000;

enum class Action { kPlay, kHelp, kVersion, kListDevices, kListInputs, kPrintRules, kCheckRules };

// Whose time the chords follow.
using Sync = timing::SyncSource;

// `--wav -`: the render goes to standard output.
inline constexpr std::string_view kStandardOutput = "-";

struct Options {
  Action action = Action::kPlay;
  // std::nullopt: --device none, play silently.
  std::optional<unsigned> device = 0;
  int instrument = kDefaultInstrument;
  bool minor = false;
  std::optional<std::string> rulesFile;
  // --check-rules FILE; without a file it checks --rules, else the defaults.
  std::optional<std::string> checkRulesFile;
  // --explain: each result line followed by the chord's function and, on a
  // modulation, its pivot and the distance from home.
  bool explain = false;
  // std::nullopt: endless, until interrupted.
  std::optional<std::uint64_t> steps;
  std::chrono::milliseconds interval = kDefaultInterval;
  // Set when --tempo or --beats-per-chord was given; --interval otherwise.
  std::optional<double> tempo;
  int beatsPerChord = timing::kDefaultBeatsPerChord;
  std::uint32_t seed = kDefaultSeed;
  // The format by its extension; kStandardOutput streams WAV to a pipe.
  std::optional<std::string> wavFile;
  std::optional<std::string> midiFile;
  Sync sync = Sync::kInternal;
  // --clock-from: an input's index or name (see --list-inputs).
  std::optional<std::string> clockFrom;
  bool clockOut = false;
  // --voicing, --register, --channel, --bass-channel, --velocity.
  midi::VoicingSettings voicing;
  // --soundfont: the built-in synthesizer's SoundFont instead of the usual
  // lookup (SONAVELA_SOUNDFONT, then the system's).
  std::optional<std::string> soundFont;
  // --gain, --reverb, --chorus.
  midi::SynthSound synth;
  // --key: the home key, when it is not the one --minor chooses.
  std::optional<harmony::Key> homeKey;

  // The grid of the program's own clock, and the tempo proposed to a master
  // that takes one: --tempo and --beats-per-chord, else --interval.
  [[nodiscard]] timing::Meter Meter() const;
};

// One line for standard error, without the program name and the newline.
// A command line that cannot be run, with the sentence that says why.
[[nodiscard]] inline Error UsageError(std::string message) {
  return Error::Of(ErrorKind::kUsage, {}, std::move(message));
}

}  // namespace sonavela::cli
