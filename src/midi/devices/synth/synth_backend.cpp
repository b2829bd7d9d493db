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

Status SynthBackend::Open(unsigned index) {
  (void)Close();
  notices_.clear();
  if (index != 0) {
    return NoSuchDevice(index);
  }
  // Refused before the SoundFont is loaded, which takes a while.
  const std::string named = NamedAudioDriver(options_.audioDriver);
  if (!named.empty()) {
    if (Status accepted = AcceptAudioDriver(named, SynthEngine::AudioDrivers()); !accepted) {
      return accepted;
    }
  }
  const SynthChoice chosen =
      options_.choice ? *options_.choice : SynthChoice{options_.soundFont, options_.sound};
  const Result<std::string> soundFont = FindSoundFont(chosen.soundFont);
  if (!soundFont) {
    return soundFont.error();
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
  const bool shared = std::any_of(drivers.begin(), drivers.end(), &SynthEngine::RendersOnItsOwn);
  Result<std::unique_ptr<SynthEngine>> made =
      SynthEngine::Create(*soundFont, sampleRate, chosen.sound, shared);
  if (!made) {
    return made.error();
  }
  std::unique_ptr<SynthEngine> engine = std::move(made).value();
  if (Status started = engine->StartAudio(drivers, options_.clientName, jack); !started) {
    return started;
  }
  if (engine->AudioDriver() == "jack" && jack && !jack->hasPlaybackPorts) {
    notices_.push_back(Notice::Of(NoticeKind::kNoJackPlaybackPorts, options_.clientName));
  }
  engine_ = std::move(engine);
  return {};
}

Status SynthBackend::Health() const {
  if (!engine_) {
    return {};
  }
  if (std::optional<Error> failure = engine_->AudioFailure()) {
    return *failure;
  }
  return {};
}

Status SynthBackend::Send(const MidiMessage& message, Timestamp at) {
  if (!engine_) {
    return {};
  }
  // A synthesizer without output only queues the messages until its queue
  // overflows; nothing it is sent now would be heard.
  if (Status healthy = Health(); !healthy) {
    return healthy;
  }
  (void)engine_->Schedule(message, at);  // an overflow is an AudioFailure
  return Health();
}

std::chrono::nanoseconds SynthBackend::Lookahead() const {
  return engine_ ? engine_->Lookahead() : std::chrono::nanoseconds{};
}

Status SynthBackend::Close() {
  Status health = Health();
  engine_.reset();
  return health;
}

std::vector<Notice> SynthBackend::TakeNotices() {
  std::vector<Notice> taken;
  taken.swap(notices_);
  return taken;
}

}  // namespace sonavela::midi
