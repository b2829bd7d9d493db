// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/sound_options.h"

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
  if (db < midi::kMinGainDb || db > midi::kMaxGainDb) {
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
  const std::optional<std::uint64_t> low = ParseNumber(text.substr(0, dash), 0, 127);
  const std::optional<std::uint64_t> high = ParseNumber(text.substr(dash + 1), 0, 127);
  if (!low || !high || *high < *low + midi::kNarrowestRegister) {
    return std::nullopt;
  }
  return midi::NoteRange{static_cast<int>(*low), static_cast<int>(*high)};
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
      return UsageError("--register: '" + std::string(value) +
                        "' is not LOW-HIGH, two MIDI notes from 0 to 127 at least " +
                        std::to_string(midi::kNarrowestRegister) + " apart");
    }
    voicing.upper = *range;
  } else if (name == "--channel" || name == "--bass-channel") {
    const std::optional<std::uint64_t> channel = ParseNumber(value, 1, 16);
    if (!channel) {
      return BadNumber(name, value, 1, 16);
    }
    (name == "--channel" ? voicing.channel : voicing.bassChannel) = static_cast<int>(*channel);
  } else if (name == "--velocity") {
    const std::optional<std::uint64_t> velocity = ParseNumber(value, 1, 127);
    if (!velocity) {
      return BadNumber(name, value, 1, 127);
    }
    voicing.velocity = static_cast<int>(*velocity);
  } else if (name == "--pattern") {
    const std::optional<midi::ChordPattern> pattern = midi::ParseChordPattern(value);
    if (!pattern) {
      return UsageError("--pattern: '" + std::string(value) + "' is none of " +
                        NameList(midi::ChordPatternNames()));
    }
    voicing.pattern = *pattern;
  } else if (name == "--humanize") {
    const std::optional<std::uint64_t> ms = ParseNumber(value, 0, midi::kLongestHumanizeMs);
    if (!ms) {
      return BadNumber(name, value, 0, midi::kLongestHumanizeMs);
    }
    voicing.humanizeMs = static_cast<int>(*ms);
  } else if (name == "--soundfont") {
    if (value.empty()) {
      return UsageError("--soundfont: the file name is empty");
    }
    options.soundFont = std::string(value);
  } else if (name == "--gain") {
    const std::optional<double> db = ParseDecibels(value);
    if (!db) {
      return UsageError("--gain: '" + std::string(value) +
                        "' is not a number of decibels from -40 to 20");
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
