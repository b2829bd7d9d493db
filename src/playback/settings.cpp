// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/settings.h"

#include <array>
#include <string>

#include "generator/candidate_keys.h"
#include "harmony/names.h"
#include "midi/devices/synth/synth_config.h"
#include "midi/port/midi_port.h"
#include "midi/port/pattern.h"
#include "midi/port/voicing.h"
#include "timing/chord_clock.h"
#include "timing/sync_settings.h"

namespace sonavela::playback {

namespace {

// The 32 keys as the result lines write them, made once.
std::span<const std::string_view> KeyNames() {
  static const auto names = [] {
    std::array<std::string, generator::kCandidateKeyCount> owned;
    for (std::size_t i = 0; i < owned.size(); ++i) {
      owned[i] = harmony::KeyName(generator::CandidateKeys()[i]);
    }
    return owned;
  }();
  static const auto views = [] {
    std::array<std::string_view, generator::kCandidateKeyCount> out;
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = names[i];
    }
    return out;
  }();
  return views;
}

std::array<SettingSpec, 14> MakeSpecs() {
  const midi::VoicingSettings voicing;
  const midi::SynthSound sound;
  using Kind = SettingKind;
  return {{
      {Setting::kVoicing, "voicing", "MODE", Kind::kChoice, 0, 0, 0, 0,
       static_cast<double>(voicing.mode), 0, midi::VoicingModeNames(),
       "how a chord is laid out: full (default: every tone in three octaves from 61 to 96, the "
       "root twice below), close (the root alone in the bass, the chord above it in close "
       "position, moving as little as it can), open (the same, spread) or bass-triad (the root "
       "in the bass, the chord in root position above)"},
      {Setting::kPattern, "pattern", "NAME", Kind::kChoice, 0, 0, 0, 0,
       static_cast<double>(voicing.pattern), 0, midi::ChordPatternNames(),
       "how a chord is played over its length: block (default: all notes at once), arpeggio-up "
       "or arpeggio-down (the bass held, the other notes one a sixteenth note), strum (each note "
       "12 ms after the one below it) or pulse (the chord struck again on every beat)"},
      {Setting::kSync, "sync", "SOURCE", Kind::kChoice, 0, 0, 0, 0,
       static_cast<double>(timing::SyncSettings{}.source), 0, timing::kSyncSourceNames,
       "whose time to follow: internal (default, the program's own), jack (the JACK "
       "transport), midi-clock (MIDI beat clock from --clock-from) or link (an Ableton Link "
       "session); with a master, chords change every N-th beat counted from bar 1 beat 1"},
      {Setting::kKey, "key", "K", Kind::kChoice, 0, 0, 0, 0, 0, 0, KeyNames(),
       "home key, any of the 32 keys as the result lines write them: C, G, ..., F#, C#, Gb, Db, "
       "...; Am, Em, ..., Ebm"},
      {Setting::kTempo,
       "tempo",
       "BPM",
       Kind::kNumber,
       20,
       400,
       2,
       0,
       timing::kDefaultTempo,
       0,
       {},
       "beats per minute, 20 to 400, decimals allowed (default 120); with --beats-per-chord "
       "instead of --interval"},
      {Setting::kBeatsPerChord,
       "beats-per-chord",
       "N",
       Kind::kNumber,
       1,
       64,
       0,
       0,
       timing::kDefaultBeatsPerChord,
       0,
       {},
       "beats from one chord to the next, 1 to 64 (default 4)"},
      {Setting::kRegister,
       "register",
       "LOW-HIGH",
       Kind::kNoteRange,
       0,
       127,
       0,
       midi::kNarrowestRegister,
       static_cast<double>(midi::kDefaultRegister.low),
       static_cast<double>(midi::kDefaultRegister.high),
       {},
       "MIDI notes the upper voices of close, open and bass-triad keep to (default 55-79), at "
       "least 12 apart"},
      {Setting::kChannel,
       "channel",
       "N",
       Kind::kNumber,
       1,
       16,
       0,
       0,
       static_cast<double>(voicing.channel),
       0,
       {},
       "MIDI channel of the chords, 1 to 16 (default 1)"},
      {Setting::kBassChannel,
       "bass-channel",
       "N",
       Kind::kNumber,
       0,
       16,
       0,
       0,
       static_cast<double>(voicing.bassChannel),
       0,
       {},
       "MIDI channel of the bass note, for a bass synth, 0 to 16 (default 0: the chords' "
       "channel)"},
      {Setting::kVelocity,
       "velocity",
       "N",
       Kind::kNumber,
       1,
       127,
       0,
       0,
       static_cast<double>(voicing.velocity),
       0,
       {},
       "note-on velocity, 1 to 127 (default 64)"},
      {Setting::kHumanize,
       "humanize",
       "MS",
       Kind::kNumber,
       0,
       midi::kLongestHumanizeMs,
       0,
       0,
       static_cast<double>(voicing.humanizeMs),
       0,
       {},
       "start each note up to MS milliseconds late, at random, 0 to 50 (default 0); the "
       "progression stays the same"},
      {Setting::kGain,
       "gain",
       "DB",
       Kind::kNumber,
       midi::kMinGainDb,
       midi::kMaxGainDb,
       1,
       0,
       sound.gainDb,
       0,
       {},
       "loudness of the built-in synthesizer, -40 to 20 dB from its default (default 0)"},
      {Setting::kReverb,
       "reverb",
       "on|off",
       Kind::kSwitch,
       0,
       1,
       0,
       0,
       sound.reverb ? 1.0 : 0.0,
       0,
       {},
       "its reverb (default on)"},
      {Setting::kChorus,
       "chorus",
       "on|off",
       Kind::kSwitch,
       0,
       1,
       0,
       0,
       sound.chorus ? 1.0 : 0.0,
       0,
       {},
       "its chorus (default on)"},
  }};
}

}  // namespace

std::span<const SettingSpec> SettingSpecs() {
  static const std::array<SettingSpec, 14> specs = MakeSpecs();
  return specs;
}

const SettingSpec& Spec(Setting setting) {
  return SettingSpecs()[static_cast<std::size_t>(setting)];
}

bool InRange(const SettingSpec& spec, double value) {
  return value >= spec.min && value <= spec.max;
}

}  // namespace sonavela::playback
