// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace sonavela::midi {

inline constexpr const char* kDefaultAlsaSequencer = "/dev/snd/seq";

// Which MIDI transports this machine offers right now.
struct MidiHost {
  bool jackServer = false;     // the program's JACK client reached a server
  bool alsaSequencer = false;  // the ALSA sequencer device can be opened
};

// Asked without RtMidi, which prints to stderr before it throws on an absent
// sequencer.
[[nodiscard]] bool AlsaSequencerAccessible(const std::string& device = kDefaultAlsaSequencer);

}  // namespace sonavela::midi
