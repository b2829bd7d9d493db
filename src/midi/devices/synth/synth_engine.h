// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <fluidsynth.h>

#include "midi/devices/synth/synth_config.h"
#include "midi/devices/synth/synth_log.h"
#include "midi/devices/synth/synth_schedule.h"
#include "midi/port/midi_message.h"

namespace sonavela::midi {

// What a running JACK server offers the synthesizer.
struct JackOutput {
  double sampleRate = 0;
  bool hasPlaybackPorts = false;
  int bufferFrames = 0;
};

// One FluidSynth instance with a loaded SoundFont, fed with MIDI messages. It
// either plays through an audio driver in real time or is pulled for samples
// by an offline renderer. Nothing FluidSynth logs while it lives reaches
// stderr. Used only inside this library.
//
// Only one thread at a time calls into the synthesizer, so FluidSynth's own
// lock is off: the caller's before the audio starts and while rendering
// offline; while playing, the audio callback, which is handed the messages
// through a SynthSchedule. Drivers that cannot call back into this class
// render on their own and are sent each message at once.
class SynthEngine {
 public:
  // The audio drivers this FluidSynth was built with, by name.
  [[nodiscard]] static std::vector<std::string> AudioDrivers();
  // The default JACK server, if one is running; nothing is started.
  [[nodiscard]] static std::optional<JackOutput> ProbeJack();

  // Whether FluidSynth's driver `name` renders on a thread of its own
  // (rather than through our callback), taking notes from the playing thread
  // at any moment.
  [[nodiscard]] static bool RendersOnItsOwn(const std::string& name);

  // Fails when the synthesizer or the SoundFont cannot be set up. `shared`
  // turns on FluidSynth's API lock: a synthesizer that a driver renders on
  // its own thread gets notes from another.
  static Result<std::unique_ptr<SynthEngine>> Create(const std::string& soundFont,
                                                     double sampleRate,
                                                     const SynthSound& sound = {},
                                                     bool shared = false);
  ~SynthEngine();
  SynthEngine(const SynthEngine&) = delete;
  SynthEngine& operator=(const SynthEngine&) = delete;

  // Applies the message now. Not while the audio plays on a schedule.
  void Send(const MidiMessage& message);
  // Has the message sound at `at` where the audio plays on a schedule, else
  // applies it now. False when the audio callback has stopped taking
  // messages; AudioFailure says so from then on.
  [[nodiscard]] bool Schedule(const MidiMessage& message, Timestamp at);
  // How long before its time a message must be scheduled to sound exactly
  // then; zero when the audio does not play on a schedule.
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const;
  // Cuts every voice at once, without release, and returns all channels to
  // their power-on state.
  void Reset();

  // Tries the drivers in order and keeps the first that starts; fails, with
  // every driver's reason, when none does. On JACK the outputs are connected
  // to the system's playback ports; `jack` is what a probe of the server
  // found, if it was probed.
  Status StartAudio(const std::vector<std::string>& drivers, const std::string& clientName,
                    const std::optional<JackOutput>& jack);
  [[nodiscard]] const std::string& AudioDriver() const { return audioDriverName_; }
  // Why the sound stopped, once the running audio driver has lost its
  // output (its sound server went away) or sent notes are being dropped.
  [[nodiscard]] std::optional<Error> AudioFailure() const;

  // Fills interleaved 16-bit stereo frames (two samples per frame).
  void Render(std::span<std::int16_t> interleavedStereo);

 private:
  SynthEngine() = default;

  // The audio driver's callback; `engine` is the SynthEngine.
  static int Play(void* engine, int frames, int nfx, float* fx[], int nout, float* out[]);

  struct SettingsDeleter {
    void operator()(fluid_settings_t* p) const { delete_fluid_settings(p); }
  };
  struct SynthDeleter {
    void operator()(fluid_synth_t* p) const { delete_fluid_synth(p); }
  };
  struct DriverDeleter {
    void operator()(fluid_audio_driver_t* p) const { delete_fluid_audio_driver(p); }
  };

  // Destroyed bottom-up: the driver stops pulling samples before the
  // schedule and the synth go, the synth goes before its settings, and the
  // log outlives them all since each of them may still have something to say.
  SynthLog log_;
  std::unique_ptr<fluid_settings_t, SettingsDeleter> settings_;
  std::unique_ptr<fluid_synth_t, SynthDeleter> synth_;
  std::unique_ptr<SynthSchedule> schedule_;
  std::unique_ptr<fluid_audio_driver_t, DriverDeleter> driver_;
  std::string audioDriverName_;
  int expectedCycleFrames_ = 0;
  bool scheduleOverflowed_ = false;
  bool shared_ = false;
};

}  // namespace sonavela::midi
