#pragma once

#include <string>

namespace sonavela::midi {

inline constexpr const char* kDefaultAlsaSequencer = "/dev/snd/seq";

// Which MIDI transports this machine offers right now. Found without RtMidi:
// RtMidi prints to stderr before it throws on an absent subsystem, and its
// JACK client leaks a ring buffer when no server answers.
struct MidiHost {
  bool jackServer = false;     // a JACK server answers (one is never started)
  bool alsaSequencer = false;  // the ALSA sequencer device can be opened
};

// True when a JACK server answers JACK_DEFAULT_SERVER (or the default one).
// Never starts a server; libjack's complaints are kept off stderr.
[[nodiscard]] bool JackServerRunning();
[[nodiscard]] bool AlsaSequencerAccessible(const std::string& device = kDefaultAlsaSequencer);
[[nodiscard]] MidiHost ProbeMidiHost(const std::string& alsaSequencer = kDefaultAlsaSequencer);

}  // namespace sonavela::midi
