#include "midi/synth_backend.h"

#include <utility>

#include "midi/synth_config.h"
#include "midi/synth_engine.h"

namespace sonavela::midi {

SynthBackend::SynthBackend(SynthBackendOptions options) : options_(std::move(options)) {}

SynthBackend::~SynthBackend() = default;

std::optional<std::string> SynthBackend::DeviceName(unsigned index) const {
  if (index != 0) {
    return std::nullopt;
  }
  return std::string(kBuiltInSynthName);
}

bool SynthBackend::Open(unsigned index) {
  Close();
  if (index != 0) {
    lastError_ = "The built-in synthesizer is device 0 only.";
    return false;
  }
  const SoundFontLookup soundFont = FindSoundFont(options_.soundFont);
  if (soundFont.path.empty()) {
    lastError_ = soundFont.error;
    return false;
  }
  std::string error;
  std::unique_ptr<SynthEngine> engine =
      SynthEngine::Create(soundFont.path, options_.sampleRate, error);
  if (!engine || !engine->StartAudio(AudioDriverCandidates(options_.audioDriver),
                                     options_.clientName, error)) {
    lastError_ = error;
    return false;
  }
  lastError_.clear();
  engine_ = std::move(engine);
  return true;
}

void SynthBackend::Send(std::uint32_t message) {
  if (engine_) {
    engine_->Send(message);
  }
}

void SynthBackend::Close() {
  engine_.reset();
}

}  // namespace sonavela::midi
