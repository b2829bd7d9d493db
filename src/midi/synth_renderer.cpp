#include "midi/synth_renderer.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "midi/synth_config.h"
#include "midi/synth_engine.h"

namespace sonavela::midi {

namespace {

constexpr int kChannels = 2;
constexpr std::uint64_t kFramesPerBlock = 4096;

std::uint64_t FramesAt(std::chrono::milliseconds position, int sampleRate) {
  return static_cast<std::uint64_t>(position.count()) * static_cast<std::uint64_t>(sampleRate) /
         1000U;
}

// Renders and drops the sound still decaying after a reset, until a whole
// block is silent or a generous bound is reached.
void DrainTail(SynthEngine& engine, int sampleRate) {
  std::vector<std::int16_t> block(kFramesPerBlock * kChannels);
  const std::uint64_t limit = 10U * static_cast<std::uint64_t>(sampleRate);
  for (std::uint64_t drained = 0; drained < limit; drained += kFramesPerBlock) {
    engine.Render(block);
    if (std::all_of(block.begin(), block.end(), [](std::int16_t s) { return s == 0; })) {
      return;
    }
  }
}

}  // namespace

SynthRenderer::SynthRenderer(SynthRendererOptions options) : options_(std::move(options)) {}

SynthRenderer::~SynthRenderer() = default;

bool SynthRenderer::Begin(const std::string& wavPath) {
  if (!Finish()) {
    return false;
  }
  if (!engine_) {
    const SoundFontLookup soundFont = FindSoundFont(options_.soundFont);
    if (soundFont.path.empty()) {
      lastError_ = soundFont.error;
      return false;
    }
    std::string error;
    engine_ = SynthEngine::Create(soundFont.path, options_.sampleRate, error);
    if (!engine_) {
      lastError_ = error;
      return false;
    }
    soundFontPath_ = soundFont.path;
  } else {
    // Nothing of a previous file may carry over, not even a reverb tail.
    engine_->Reset();
    DrainTail(*engine_, options_.sampleRate);
  }
  if (!wav_.Open(wavPath, options_.sampleRate, kChannels)) {
    lastError_ = wav_.LastError();
    return false;
  }
  position_ = std::chrono::milliseconds(0);
  lastError_.clear();
  return true;
}

void SynthRenderer::Send(std::uint32_t message) {
  if (IsRendering()) {
    engine_->Send(message);
  }
}

bool SynthRenderer::Advance(std::chrono::milliseconds duration) {
  if (!IsRendering()) {
    lastError_ = "No WAV file is being rendered.";
    return false;
  }
  if (duration.count() <= 0) {
    return true;
  }
  const std::uint64_t target = FramesAt(position_ + duration, options_.sampleRate);
  std::vector<std::int16_t> block;
  while (wav_.FramesWritten() < target) {
    const std::uint64_t frames = std::min(kFramesPerBlock, target - wav_.FramesWritten());
    block.assign(static_cast<std::size_t>(frames) * kChannels, 0);
    engine_->Render(block);
    if (!wav_.Append(block)) {
      lastError_ = wav_.LastError();
      return false;
    }
  }
  position_ += duration;
  return true;
}

bool SynthRenderer::Finish() {
  if (!wav_.Finish()) {
    lastError_ = wav_.LastError();
    return false;
  }
  return true;
}

RendererBackend::RendererBackend(std::shared_ptr<SynthRenderer> renderer, std::string wavPath)
    : renderer_(std::move(renderer)), wavPath_(std::move(wavPath)) {}

RendererBackend::~RendererBackend() = default;

std::optional<std::string> RendererBackend::DeviceName(unsigned index) const {
  if (index != 0) {
    return std::nullopt;
  }
  return std::string(kWavRendererName);
}

bool RendererBackend::Open(unsigned index) {
  Close();
  if (index != 0) {
    lastError_ = "The WAV renderer is device 0 only.";
    return false;
  }
  if (!renderer_->Begin(wavPath_)) {
    lastError_ = renderer_->LastError();
    return false;
  }
  lastError_.clear();
  return true;
}

void RendererBackend::Send(std::uint32_t message) {
  renderer_->Send(message);
}

void RendererBackend::Close() {
  if (renderer_->IsRendering() && !renderer_->Finish()) {
    lastError_ = renderer_->LastError();
  }
}

std::string RendererBackend::LastError() const {
  return lastError_;
}

}  // namespace sonavela::midi
