// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/synth/synth_backend.h"

#include <algorithm>
#include <utility>

#include "midi/devices/synth/synth_config.h"
#include "midi/devices/synth/synth_engine.h"

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
  (void)Close();
  notices_.clear();
  if (index != 0) {
    lastError_ = "The built-in synthesizer is device 0 only.";
    return false;
  }
  // Refused before the SoundFont is loaded, which takes a while.
  const std::string named = NamedAudioDriver(options_.audioDriver);
  if (!named.empty()) {
    lastError_ = RefusedAudioDriver(named, SynthEngine::AudioDrivers());
    if (!lastError_.empty()) {
      return false;
    }
  }
  const SynthChoice chosen =
      options_.choice ? *options_.choice : SynthChoice{options_.soundFont, options_.sound};
  const SoundFontLookup soundFont = FindSoundFont(chosen.soundFont);
  if (soundFont.path.empty()) {
    lastError_ = soundFont.error;
    return false;
  }
  const std::vector<std::string> drivers = AudioDriverCandidates(options_.audioDriver);
  // JACK runs at a rate of its own. A synthesizer made for another rate has
  // to be retuned while it starts, which FluidSynth complains about.
  double sampleRate = options_.sampleRate;
  std::optional<JackOutput> jack;
  if (std::find(drivers.begin(), drivers.end(), "jack") != drivers.end()) {
    jack = SynthEngine::ProbeJack();
    if (jack) {
      sampleRate = jack->sampleRate;
    }
  }
  std::string error;
  const bool shared = std::any_of(drivers.begin(), drivers.end(), &SynthEngine::RendersOnItsOwn);
  std::unique_ptr<SynthEngine> engine =
      SynthEngine::Create(soundFont.path, sampleRate, error, chosen.sound, shared);
  if (!engine || !engine->StartAudio(drivers, options_.clientName, jack, error)) {
    lastError_ = error;
    return false;
  }
  if (engine->AudioDriver() == "jack" && jack && !jack->hasPlaybackPorts) {
    notices_.push_back(
        "the built-in synthesizer plays on JACK, but JACK has no playback ports: "
        "connect " +
        options_.clientName + ":left and " + options_.clientName + ":right yourself");
  }
  lastError_.clear();
  engine_ = std::move(engine);
  return true;
}

bool SynthBackend::Failed() {
  if (!engine_) {
    return false;
  }
  std::optional<std::string> failure = engine_->AudioFailure();
  if (!failure) {
    return false;
  }
  lastError_ = std::move(*failure);
  return true;
}

bool SynthBackend::Send(const MidiMessage& message, Timestamp at) {
  if (!engine_) {
    return true;
  }
  // A synthesizer without output only queues the messages until its queue
  // overflows; nothing it is sent now would be heard.
  if (Failed()) {
    return false;
  }
  return engine_->Schedule(message, at) && !Failed();
}

std::chrono::nanoseconds SynthBackend::Lookahead() const {
  return engine_ ? engine_->Lookahead() : std::chrono::nanoseconds{};
}

bool SynthBackend::Close() {
  const bool failed = Failed();
  engine_.reset();
  return !failed;
}

std::vector<std::string> SynthBackend::TakeNotices() {
  std::vector<std::string> taken;
  taken.swap(notices_);
  return taken;
}

}  // namespace sonavela::midi
