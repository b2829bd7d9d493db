// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include "cli/option_values.h"
#include "cli/sound_options.h"
#include "playback/settings.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>

namespace sonavela::cli {
namespace {

enum class Id {
  kHelp,
  kVersion,
  kListDevices,
  kDevice,
  kInstrument,
  kMinor,
  kRules,
  kPrintRules,
  kSteps,
  kInterval,
  kSeed,
  kWav,
  kMidi,
  kTempo,
  kBeatsPerChord,
  kSync,
  kClockFrom,
  kClockOut,
  kListInputs,
  kCheckRules,
  kExplain
};

struct OptionInfo {
  std::string_view name;
  Id id;
  bool takesValue;
};

constexpr std::array<OptionInfo, 22> kOptionTable{{
    {"--help", Id::kHelp, false},
    {"-h", Id::kHelp, false},
    {"--version", Id::kVersion, false},
    {"--list-devices", Id::kListDevices, false},
    {"--device", Id::kDevice, true},
    {"--instrument", Id::kInstrument, true},
    {"--minor", Id::kMinor, false},
    {"--rules", Id::kRules, true},
    {"--print-rules", Id::kPrintRules, false},
    {"--steps", Id::kSteps, true},
    {"--interval", Id::kInterval, true},
    {"--seed", Id::kSeed, true},
    {"--wav", Id::kWav, true},
    {"--midi", Id::kMidi, true},
    {"--tempo", Id::kTempo, true},
    {"--beats-per-chord", Id::kBeatsPerChord, true},
    {"--sync", Id::kSync, true},
    {"--clock-from", Id::kClockFrom, true},
    {"--clock-out", Id::kClockOut, false},
    {"--list-inputs", Id::kListInputs, false},
    // Its file is optional: "--check-rules=FILE", or the next argument
    // unless that is an option.
    {"--check-rules", Id::kCheckRules, false},
    {"--explain", Id::kExplain, false},
}};

std::string_view ActionOption(Action action) {
  switch (action) {
    case Action::kListDevices:
      return "--list-devices";
    case Action::kPrintRules:
      return "--print-rules";
    case Action::kListInputs:
      return "--list-inputs";
    case Action::kCheckRules:
      return "--check-rules";
    default:
      return "";
  }
}

}  // namespace

Result<Options> ParseOptions(std::span<const std::string_view> args) {
  Options options;
  bool deviceGiven = false;
  bool intervalGiven = false;
  bool tempoGiven = false;
  const playback::SettingSpec& tempo = playback::Spec(playback::Setting::kTempo);
  const playback::SettingSpec& beats = playback::Spec(playback::Setting::kBeatsPerChord);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      return UsageError("unexpected argument '" + std::string(arg) + "' (see --help)");
    }
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const OptionInfo* known = nullptr;
    for (const OptionInfo& candidate : kOptionTable) {
      if (candidate.name == name) {
        known = &candidate;
      }
    }
    const std::optional<bool> soundTakesValue = SoundOptionTakesValue(name);
    if (known == nullptr && !soundTakesValue) {
      return UsageError("unknown option '" + std::string(name) + "' (see --help)");
    }
    std::string_view value;
    if (known != nullptr && known->id == Id::kCheckRules) {
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
        if (value.empty()) {
          return UsageError("--check-rules: the file name is empty");
        }
      } else if (i + 1 < args.size() && !args[i + 1].starts_with('-')) {
        value = args[++i];
      }
      if (!value.empty()) {
        options.checkRulesFile = std::string(value);
      }
    } else if (known != nullptr ? known->takesValue : *soundTakesValue) {
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return UsageError("option '" + std::string(name) + "' needs a value");
      }
    } else if (equals != std::string_view::npos) {
      return UsageError("option '" + std::string(name) + "' takes no value");
    }
    if (known == nullptr) {
      if (Status applied = ApplySoundOption(name, value, options); !applied) {
        return applied.error();
      }
      continue;
    }

    switch (known->id) {
      case Id::kHelp:
        options.action = Action::kHelp;
        return options;
      case Id::kVersion:
        options.action = Action::kVersion;
        return options;
      case Id::kListDevices:
      case Id::kListInputs:
      case Id::kCheckRules:
      case Id::kPrintRules: {
        const Action action = known->id == Id::kListDevices  ? Action::kListDevices
                              : known->id == Id::kListInputs ? Action::kListInputs
                              : known->id == Id::kCheckRules ? Action::kCheckRules
                                                             : Action::kPrintRules;
        if (options.action != Action::kPlay && options.action != action) {
          return UsageError(std::string(ActionOption(options.action)) + " and " +
                            std::string(name) + " cannot be combined");
        }
        options.action = action;
        break;
      }
      case Id::kDevice:
        deviceGiven = true;
        if (value == "none") {
          options.device.reset();
        } else if (auto n = ParseNumber(value, 0, std::numeric_limits<unsigned>::max() - 1)) {
          options.device = static_cast<unsigned>(*n);
        } else {
          return UsageError("--device: '" + std::string(value) +
                            "' is neither a device index nor 'none' (see --list-devices)");
        }
        break;
      case Id::kInstrument:
        if (auto n = ParseNumber(value, 1, 128)) {
          options.instrument = static_cast<int>(*n);
        } else {
          return BadNumber(name, value, 1, 128);
        }
        break;
      case Id::kMinor:
        options.minor = true;
        break;
      case Id::kExplain:
        options.explain = true;
        break;
      case Id::kRules:
        if (value.empty()) {
          return UsageError("--rules: the file name is empty");
        }
        options.rulesFile = std::string(value);
        break;
      case Id::kSteps:
        if (auto n = ParseNumber(value, 1, kMaxSteps)) {
          options.steps = *n;
        } else {
          return BadNumber(name, value, 1, kMaxSteps);
        }
        break;
      case Id::kInterval:
        intervalGiven = true;
        if (auto n = ParseNumber(value, 0, kMaxIntervalMs)) {
          options.interval = std::chrono::milliseconds{static_cast<std::int64_t>(*n)};
        } else {
          return BadNumber(name, value, 0, kMaxIntervalMs);
        }
        break;
      case Id::kSeed:
        if (auto n = ParseNumber(value, 0, std::numeric_limits<std::uint32_t>::max())) {
          options.seed = static_cast<std::uint32_t>(*n);
        } else {
          return BadNumber(name, value, 0, std::numeric_limits<std::uint32_t>::max());
        }
        break;
      case Id::kWav:
        if (value.empty()) {
          return UsageError("--wav: the file name is empty");
        }
        if (value != kStandardOutput && !midi::AudioFormatOfName(value)) {
          return UsageError("--wav: '" + std::string(value) +
                            "' ends in none of .wav, .flac, .rf64 (or give no extension for WAV)");
        }
        options.wavFile = std::string(value);
        break;
      case Id::kMidi:
        if (value.empty()) {
          return UsageError("--midi: the file name is empty");
        }
        options.midiFile = std::string(value);
        break;
      case Id::kTempo:
        tempoGiven = true;
        if (auto bpm = ParseDecimal(value, tempo.min, tempo.max)) {
          options.tempo = *bpm;
        } else {
          return UsageError("--tempo: '" + std::string(value) +
                            "' is not a number of beats per minute from " +
                            std::to_string(static_cast<int>(tempo.min)) + " to " +
                            std::to_string(static_cast<int>(tempo.max)));
        }
        break;
      case Id::kBeatsPerChord: {
        tempoGiven = true;
        const auto fewest = static_cast<std::uint64_t>(beats.min);
        const auto most = static_cast<std::uint64_t>(beats.max);
        if (auto n = ParseNumber(value, fewest, most)) {
          options.beatsPerChord = static_cast<int>(*n);
        } else {
          return BadNumber(name, value, fewest, most);
        }
        break;
      }
      case Id::kSync: {
        const auto& names = timing::kSyncSourceNames;
        const auto* sync = std::find(names.begin(), names.end(), value);
        if (sync == names.end()) {
          return UsageError("--sync: '" + std::string(value) + "' is none of " + NameList(names));
        }
        options.sync = static_cast<Sync>(sync - names.begin());
        break;
      }
      case Id::kClockFrom:
        if (value.empty()) {
          return UsageError("--clock-from: the input is empty (see --list-inputs)");
        }
        options.clockFrom = std::string(value);
        break;
      case Id::kClockOut:
        options.clockOut = true;
        break;
    }
  }

  if (options.minor && options.homeKey) {
    return UsageError("--minor is the home key Am: it cannot be combined with --key");
  }
  if (intervalGiven && tempoGiven) {
    return UsageError("--interval cannot be combined with --tempo or --beats-per-chord");
  }
  if (intervalGiven && options.interval.count() == 0 &&
      (options.voicing.pattern != midi::ChordPattern::kBlock || options.voicing.humanizeMs > 0)) {
    return UsageError(
        "--pattern and --humanize spread a chord over its length: --interval 0 has none");
  }
  if (tempoGiven && !options.tempo) {
    options.tempo = timing::kDefaultTempo;
  }
  if (options.clockFrom && options.sync != Sync::kMidiClock) {
    return UsageError("--clock-from needs --sync midi-clock");
  }
  if (options.sync == Sync::kMidiClock && !options.clockFrom && options.action == Action::kPlay) {
    return UsageError("--sync midi-clock needs --clock-from PORT (see --list-inputs)");
  }
  if (options.wavFile && options.sync != Sync::kInternal) {
    return UsageError("--wav renders on its own clock and cannot follow --sync " +
                      std::string(SyncName(options.sync)));
  }

  if (options.wavFile && options.action == Action::kPlay) {
    if (!options.steps) {
      return UsageError("--wav needs --steps, so that the recording has an end");
    }
    if (deviceGiven) {
      return UsageError(
          "--wav renders the built-in synthesizer and cannot be combined with --device");
    }
    if (intervalGiven && options.interval.count() == 0) {
      return UsageError("--wav needs an --interval above 0: each chord lasts the interval");
    }
  }
  if (options.wavFile && options.midiFile && *options.wavFile != kStandardOutput &&
      std::filesystem::path(*options.wavFile).lexically_normal() ==
          std::filesystem::path(*options.midiFile).lexically_normal()) {
    return UsageError("--wav and --midi name the same file");
  }
  return options;
}

timing::Meter Options::Meter() const {
  return tempo ? timing::Meter::FromTempo(*tempo, beatsPerChord)
               : timing::Meter::FromPeriod(interval);
}

std::string_view SyncName(Sync sync) {
  return timing::kSyncSourceNames[static_cast<std::size_t>(sync)];
}

}  // namespace sonavela::cli
