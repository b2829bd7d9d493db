// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/files/synth_renderer.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "midi/devices/synth/synth_config.h"
#include "midi/devices/synth/synth_engine.h"

namespace sonavela::midi {

namespace {

constexpr int kChannels = 2;
constexpr std::uint64_t kFramesPerBlock = 4096;

// Split into whole seconds and the rest, so that no product can overflow.
std::uint64_t FramesAt(std::chrono::nanoseconds position, int sampleRate) {
  constexpr std::uint64_t kPerSecond = 1'000'000'000;
  const auto ns = static_cast<std::uint64_t>(std::max<std::int64_t>(position.count(), 0));
  const auto rate = static_cast<std::uint64_t>(sampleRate);
  return ns / kPerSecond * rate + ns % kPerSecond * rate / kPerSecond;
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

SynthRenderer::SynthRenderer(SynthRendererOptions options)
    : options_(std::move(options)), writer_(MakeAudioWriter(options_.format)) {}

SynthRenderer::~SynthRenderer() = default;

Status SynthRenderer::Begin(ByteSink& wav) {
  if (Status finished = Finish(); !finished) {
    return finished;
  }
  if (!engine_) {
    const Result<std::string> soundFont = FindSoundFont(options_.soundFont);
    if (!soundFont) {
      return soundFont.error();
    }
    Result<std::unique_ptr<SynthEngine>> made =
        SynthEngine::Create(*soundFont, options_.sampleRate, options_.sound);
    if (!made) {
      return made.error();
    }
    engine_ = std::move(made).value();
    soundFontPath_ = *soundFont;
  } else {
    // Nothing of a previous file may carry over, not even a reverb tail.
    engine_->Reset();
    DrainTail(*engine_, options_.sampleRate);
  }
  if (Status opened = writer_->Open(wav, options_.sampleRate, kChannels); !opened) {
    return opened;
  }
  position_ = std::chrono::nanoseconds(0);
  return {};
}

Status SynthRenderer::Send(const MidiMessage& message, std::chrono::nanoseconds position) {
  if (!IsRendering()) {
    return {};
  }
  if (Status rendered = RenderUntil(position); !rendered) {
    return rendered;
  }
  engine_->Send(message);
  return {};
}

Status SynthRenderer::RenderUntil(std::chrono::nanoseconds position) {
  if (!IsRendering()) {
    return Error::Of(ErrorKind::kBadUse, {}, "no WAV file is being rendered");
  }
  if (position <= position_) {
    return {};
  }
  const std::uint64_t target = FramesAt(position, options_.sampleRate);
  std::vector<std::int16_t> block;
  while (writer_->FramesWritten() < target) {
    const std::uint64_t frames = std::min(kFramesPerBlock, target - writer_->FramesWritten());
    block.assign(static_cast<std::size_t>(frames) * kChannels, 0);
    engine_->Render(block);
    if (Status written = writer_->Append(block); !written) {
      return written;
    }
  }
  position_ = position;
  return {};
}

Status SynthRenderer::RenderTail() {
  if (!IsRendering()) {
    return {};
  }
  // Blocks of about 23 ms: short enough that the file ends soon after the
  // sound does, long enough to hold a period of the lowest notes.
  constexpr std::uint64_t kTailBlock = 1024;
  const auto quiet = static_cast<int>(kTailEndsBelow * 32768.0);
  const std::uint64_t longest =
      static_cast<std::uint64_t>(kLongestTail.count()) * static_cast<std::uint64_t>(SampleRate());
  std::vector<std::int16_t> block(kTailBlock * kChannels);
  for (std::uint64_t rendered = 0; rendered < longest; rendered += kTailBlock) {
    engine_->Render(block);
    if (Status written = writer_->Append(block); !written) {
      return written;
    }
    position_ += std::chrono::nanoseconds(static_cast<std::int64_t>(
        kTailBlock * 1'000'000'000ULL / static_cast<std::uint64_t>(SampleRate())));
    if (std::all_of(block.begin(), block.end(),
                    [quiet](std::int16_t s) { return s < quiet && s > -quiet; })) {
      break;
    }
  }
  return {};
}

Status SynthRenderer::Finish() {
  return writer_->Finish();
}

RendererBackend::RendererBackend(std::shared_ptr<SynthRenderer> renderer, ByteSink& wav)
    : renderer_(std::move(renderer)), wav_(wav) {}

RendererBackend::~RendererBackend() = default;

std::optional<std::string> RendererBackend::DeviceName(unsigned index) const {
  if (index != 0) {
    return std::nullopt;
  }
  return std::string(kWavRendererName);
}

Status RendererBackend::Open(unsigned index) {
  (void)Close();
  if (index != 0) {
    return NoSuchDevice(index);
  }
  if (Status begun = renderer_->Begin(wav_); !begun) {
    return begun;
  }
  origin_.reset();
  return {};
}

Status RendererBackend::Send(const MidiMessage& message, Timestamp at) {
  if (!renderer_->IsRendering()) {
    return {};
  }
  if (!origin_) {
    origin_ = at;
  }
  return renderer_->Send(message, at - *origin_);
}

Status RendererBackend::Close() {
  if (!renderer_->IsRendering()) {
    return {};
  }
  if (Status tail = renderer_->RenderTail(); !tail) {
    return tail;
  }
  return renderer_->Finish();
}

}  // namespace sonavela::midi
