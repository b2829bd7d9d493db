#pragma once

#include <memory>
#include <optional>
#include <string>

#include "midi/midi_backend.h"

namespace sonavela::midi {

class SynthEngine;

inline constexpr const char* kBuiltInSynthName = "Built-in synthesizer (FluidSynth)";

struct SynthBackendOptions {
  // Empty: SONAVELA_SOUNDFONT, then the system's General MIDI SoundFonts.
  std::string soundFont;
  // Empty: SONAVELA_AUDIO_DRIVER, then pulseaudio, alsa, jack, sdl2.
  std::string audioDriver;
  // How the synthesizer names itself to JACK.
  std::string clientName = "Sonavela";
  double sampleRate = 44100.0;
};

// The built-in synthesizer as a single device that plays through the
// computer's audio output. Opening it loads the SoundFont and starts an audio
// driver; when either is impossible Open fails and LastError says why.
class SynthBackend final : public MidiBackend {
 public:
  explicit SynthBackend(SynthBackendOptions options = {});
  ~SynthBackend() override;
  SynthBackend(const SynthBackend&) = delete;
  SynthBackend& operator=(const SynthBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override { return 1; }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  [[nodiscard]] bool Open(unsigned index) override;
  void Send(std::uint32_t message) override;
  void Close() override;
  [[nodiscard]] std::string LastError() const override { return lastError_; }

 private:
  SynthBackendOptions options_;
  std::unique_ptr<SynthEngine> engine_;
  std::string lastError_;
};

}  // namespace sonavela::midi
