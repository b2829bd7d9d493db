// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "base/result.h"

namespace sonavela::midi {

// Where the built-in synthesizer looks for a General MIDI SoundFont when no
// path is given: these files, in this order.
[[nodiscard]] std::vector<std::string> DefaultSoundFontCandidates();

// How the built-in synthesizer sounds besides its SoundFont. The defaults
// are FluidSynth's own: its gain, reverb and chorus on.
struct SynthSound {
  double gainDb = 0.0;  // relative to FluidSynth's default gain
  bool reverb = true;
  bool chorus = true;

  friend bool operator==(const SynthSound&, const SynthSound&) = default;
};

// What the built-in synthesizer opens with. A front end that lets the user
// change it while the program runs shares one with the synthesizer, which
// reads it at every Open.
struct SynthChoice {
  std::string soundFont;  // empty: SONAVELA_SOUNDFONT, then the system's
  SynthSound sound;

  friend bool operator==(const SynthChoice&, const SynthChoice&) = default;
};

inline constexpr double kMinGainDb = -40.0;
inline constexpr double kMaxGainDb = 20.0;

// `explicitPath`, else the environment variable SONAVELA_SOUNDFONT, else the
// first existing default candidate. A path the user named explicitly is never
// silently replaced by another: if it is no readable file, the lookup fails
// and says what it is instead. Whether the file holds a SoundFont is for the
// synthesizer to find out.
Result<std::string> FindSoundFont(const std::string& explicitPath);

// The audio driver the user named: `explicitDriver`, else the environment
// variable SONAVELA_AUDIO_DRIVER; empty when none is named.
[[nodiscard]] std::string NamedAudioDriver(const std::string& explicitDriver);

// Fails with why the named driver cannot play live. `offered` is what this
// FluidSynth was built with.
Status AcceptAudioDriver(const std::string& name, const std::vector<std::string>& offered);

// The FluidSynth audio drivers to try, in order: `explicitDriver`, else the
// environment variable SONAVELA_AUDIO_DRIVER, else the platform's usual
// outputs: on Linux pulseaudio (also served by PipeWire), alsa, jack.
[[nodiscard]] std::vector<std::string> AudioDriverCandidates(const std::string& explicitDriver);

}  // namespace sonavela::midi
