// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/devices/synth/synth_config.h"
#include "midi/port/midi_backend.h"

namespace sonavela::midi {

class SynthEngine;

inline constexpr const char* kBuiltInSynthName = "Built-in synthesizer (FluidSynth)";

struct SynthBackendOptions {
  // Empty: SONAVELA_SOUNDFONT, then the system's General MIDI SoundFonts.
  std::string soundFont;
  SynthSound sound;
  // When set, read at every Open in place of `soundFont` and `sound`.
  std::shared_ptr<const SynthChoice> choice;
  // Empty: SONAVELA_AUDIO_DRIVER, then pulseaudio, alsa, jack.
  std::string audioDriver;
  // How the synthesizer names itself to JACK.
  std::string clientName = "Sonavela";
  double sampleRate = 44100.0;
};

// The built-in synthesizer as a single device that plays through the
// computer's audio output. Opening it loads the SoundFont and starts an audio
// driver; when either is impossible Open fails and says why. Once
// the audio output is lost (its sound server quit), Send fails.
//
// Each message sounds at its time, after the audio output's own constant
// latency, provided it is sent at least Lookahead before; a message sent
// later sounds at once. Messages are played in the order they are sent.
class SynthBackend final : public MidiBackend {
 public:
  explicit SynthBackend(SynthBackendOptions options = {});
  ~SynthBackend() override;
  SynthBackend(const SynthBackend&) = delete;
  SynthBackend& operator=(const SynthBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override { return 1; }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  Status Send(const MidiMessage& message, Timestamp at) override;
  Status Close() override;
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const override;
  [[nodiscard]] std::vector<Notice> TakeNotices() override;

 private:
  // Fails once the open synthesizer has lost its output.
  [[nodiscard]] Status Health() const;

  SynthBackendOptions options_;
  std::unique_ptr<SynthEngine> engine_;
  std::vector<Notice> notices_;
};

}  // namespace sonavela::midi
