// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/sound_options.h"

#include "playback/settings.h"

#include <array>
#include <string>

#include "cli/option_values.h"
#include "generator/candidate_keys.h"

namespace sonavela::cli {
namespace {

constexpr std::array<std::string_view, 12> kNames{
    "--voicing",  "--register", "--channel",   "--bass-channel", "--velocity", "--pattern",
    "--humanize", "--key",      "--soundfont", "--gain",         "--reverb",   "--chorus"};

// "on" or "off".
std::optional<bool> ParseSwitch(std::string_view text) {
  if (text == "on") {
    return true;
  }
  if (text == "off") {
    return false;
  }
  return std::nullopt;
}

// Decibels with an optional sign and fraction ("-6", "3.5").
std::optional<double> ParseDecibels(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    text.remove_prefix(1);
  }
  const std::optional<double> size = ParseDecimal(text, 0.0, 1000.0);
  if (!size) {
    return std::nullopt;
  }
  const double db = negative ? -*size : *size;
  if (!playback::InRange(playback::Spec(playback::Setting::kGain), db)) {
    return std::nullopt;
  }
  return db;
}

// "LOW-HIGH", two MIDI notes at least an octave apart.
std::optional<midi::NoteRange> ParseRegister(std::string_view text) {
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    return std::nullopt;
  }
  const playback::SettingSpec& notes = playback::Spec(playback::Setting::kRegister);
  const auto top = static_cast<std::uint64_t>(notes.max);
  const std::optional<std::uint64_t> low = ParseNumber(text.substr(0, dash), 0, top);
  const std::optional<std::uint64_t> high = ParseNumber(text.substr(dash + 1), 0, top);
  if (!low || !high || *high < *low + static_cast<std::uint64_t>(notes.narrowest)) {
    return std::nullopt;
  }
  return midi::NoteRange{static_cast<int>(*low), static_cast<int>(*high)};
}

// "20", "-40": a bound of a range as the messages write it.
std::string WholeText(double bound) {
  return std::to_string(static_cast<long long>(bound));
}

// A whole number in the setting's range into `target`.
Status ApplyWholeNumber(playback::Setting setting, std::string_view name, std::string_view value,
                        int& target) {
  const playback::SettingSpec& spec = playback::Spec(setting);
  const auto min = static_cast<std::uint64_t>(spec.min);
  const auto max = static_cast<std::uint64_t>(spec.max);
  const std::optional<std::uint64_t> number = ParseNumber(value, min, max);
  if (!number) {
    return BadNumber(name, value, min, max);
  }
  target = static_cast<int>(*number);
  return {};
}

}  // namespace

std::optional<bool> SoundOptionTakesValue(std::string_view name) {
  for (const std::string_view known : kNames) {
    if (known == name) {
      return true;
    }
  }
  return std::nullopt;
}

Status ApplySoundOption(std::string_view name, std::string_view value, Options& options) {
  midi::VoicingSettings& voicing = options.voicing;
  if (name == "--voicing") {
    const std::optional<midi::VoicingMode> mode = midi::ParseVoicingMode(value);
    if (!mode) {
      return UsageError("--voicing: '" + std::string(value) + "' is none of " +
                        NameList(midi::VoicingModeNames()));
    }
    voicing.mode = *mode;
  } else if (name == "--register") {
    const std::optional<midi::NoteRange> range = ParseRegister(value);
    if (!range) {
      const playback::SettingSpec& notes = playback::Spec(playback::Setting::kRegister);
      return UsageError("--register: '" + std::string(value) +
                        "' is not LOW-HIGH, two MIDI notes from " + WholeText(notes.min) + " to " +
                        WholeText(notes.max) + " at least " + std::to_string(notes.narrowest) +
                        " apart");
    }
    voicing.upper = *range;
  } else if (name == "--channel") {
    return ApplyWholeNumber(playback::Setting::kChannel, name, value, voicing.channel);
  } else if (name == "--bass-channel") {
    return ApplyWholeNumber(playback::Setting::kBassChannel, name, value, voicing.bassChannel);
  } else if (name == "--velocity") {
    return ApplyWholeNumber(playback::Setting::kVelocity, name, value, voicing.velocity);
  } else if (name == "--pattern") {
    const std::optional<midi::ChordPattern> pattern = midi::ParseChordPattern(value);
    if (!pattern) {
      return UsageError("--pattern: '" + std::string(value) + "' is none of " +
                        NameList(midi::ChordPatternNames()));
    }
    voicing.pattern = *pattern;
  } else if (name == "--humanize") {
    return ApplyWholeNumber(playback::Setting::kHumanize, name, value, voicing.humanizeMs);
  } else if (name == "--soundfont") {
    if (value.empty()) {
      return UsageError("--soundfont: the file name is empty");
    }
    options.soundFont = std::string(value);
  } else if (name == "--gain") {
    const std::optional<double> db = ParseDecibels(value);
    if (!db) {
      const playback::SettingSpec& gain = playback::Spec(playback::Setting::kGain);
      return UsageError("--gain: '" + std::string(value) + "' is not a number of decibels from " +
                        WholeText(gain.min) + " to " + WholeText(gain.max));
    }
    options.synth.gainDb = *db;
  } else if (name == "--reverb" || name == "--chorus") {
    const std::optional<bool> on = ParseSwitch(value);
    if (!on) {
      return UsageError(std::string(name) + ": '" + std::string(value) + "' is neither on nor off");
    }
    (name == "--reverb" ? options.synth.reverb : options.synth.chorus) = *on;
  } else if (name == "--key") {
    options.homeKey = generator::CandidateKeyNamed(value);
    if (!options.homeKey) {
      return UsageError("--key: '" + std::string(value) +
                        "' is none of the 32 keys (C, G, ..., Gb; Am, Em, ..., Ebm; as the "
                        "result lines write them)");
    }
  }
  return {};
}

}  // namespace sonavela::cli
