// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every setting of how the chords sound and keep time, declared once: its
// name, its values or range, its default and what it does. The command
// line's parser and help, the dialog's controls and the plugin's ports take
// their ranges from here, and the tests hold the help, the manual page, the
// completion and the plugin's Turtle against it.

#include <span>
#include <string_view>

namespace sonavela::playback {

enum class Setting {
  kVoicing,
  kPattern,
  kSync,
  kKey,
  kTempo,
  kBeatsPerChord,
  kRegister,
  kChannel,
  kBassChannel,
  kVelocity,
  kHumanize,
  kGain,
  kReverb,
  kChorus,
};

enum class SettingKind {
  kChoice,     // one of `values`; the default is its index
  kNumber,     // from `min` to `max`, with `decimals` places
  kNoteRange,  // two MIDI notes from `min` to `max`, at least `narrowest` apart
  kSwitch,     // on or off; the default is 1 for on
};

struct SettingSpec {
  Setting id;
  std::string_view name;  // the command line's option without "--"
  std::string_view valueName;
  SettingKind kind;
  double min = 0;
  double max = 0;
  int decimals = 0;
  int narrowest = 0;
  double defaultValue = 0;
  double defaultHigh = 0;  // of a kNoteRange
  std::span<const std::string_view> values;
  // What it does, as --help says it after the option, unwrapped.
  std::string_view help;
};

[[nodiscard]] std::span<const SettingSpec> SettingSpecs();
[[nodiscard]] const SettingSpec& Spec(Setting setting);
// Whether `value` lies in the setting's range.
[[nodiscard]] bool InRange(const SettingSpec& spec, double value);

}  // namespace sonavela::playback
