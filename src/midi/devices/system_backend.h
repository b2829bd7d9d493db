// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "midi/devices/alsa-rtmidi/midi_host.h"
#include "midi/devices/synth/synth_config.h"
#include "midi/port/midi_backend.h"

namespace sonavela::midi {

struct SystemBackendOptions {
  // Device 0 is the built-in synthesizer unless this is false.
  bool includeBuiltInSynth = true;
  // The last device is "Sonavela (virtual port)" where a JACK server runs or
  // the ALSA sequencer is there, unless this is false.
  bool includeVirtualPort = true;
  // Empty: SONAVELA_SOUNDFONT, then the system's General MIDI SoundFonts.
  std::string soundFont;
  SynthSound sound;
  // When set, read at every opening of the synthesizer in place of
  // `soundFont` and `sound`.
  std::shared_ptr<const SynthChoice> synthChoice;
  // Empty: SONAVELA_AUDIO_DRIVER, then pulseaudio, alsa, jack.
  std::string audioDriver;
  // How the program names itself to JACK and the ALSA sequencer.
  std::string clientName = "Sonavela";
  // The virtual port's name within that client ("Sonavela:out").
  std::string virtualPortName = "out";
  // Where the ALSA sequencer lives; another path lets tests take it away.
  std::string alsaSequencer = kDefaultAlsaSequencer;
};

// The devices a user can choose from: the built-in synthesizer as device 0,
// then the JACK MIDI inputs (the program's own JACK client), then the ALSA
// sequencer's ports (RtMidi), then the program's own virtual port. The list
// is read once, here, before the virtual port exists, so the port never
// lists itself as a system output.
[[nodiscard]] std::unique_ptr<MidiBackend> MakeSystemBackend(
    const SystemBackendOptions& options = {});

}  // namespace sonavela::midi
