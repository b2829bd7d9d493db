// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "midi/files/audio_writer.h"
#include "midi/files/byte_sink.h"

namespace sonavela::midi {

// Streams 16-bit PCM as a RIFF/WAVE file into a sink. The header's sizes are
// written when the file is finished; until then they say the file is empty
// rather than pretending to hold samples it lacks. Into a pipe, which cannot
// go back to the header, the sizes are written as unknown, as sox writes
// them, and readers read up to the end of the stream.
class WavWriter final : public AudioWriter {
 public:
  enum class Sizes { kCompleted, kUnknown };
  explicit WavWriter(Sizes sizes = Sizes::kCompleted) : sizes_(sizes) {}

  Status Open(ByteSink& sink, int sampleRate, int channels) override;
  Status Append(std::span<const std::int16_t> samples) override;
  Status Finish() override;

  [[nodiscard]] bool IsOpen() const override { return sink_ != nullptr; }
  [[nodiscard]] std::uint64_t FramesWritten() const override { return frames_; }

 private:
  Sizes sizes_;
  ByteSink* sink_ = nullptr;
  int sampleRate_ = 0;
  int channels_ = 0;
  std::uint64_t frames_ = 0;
};

}  // namespace sonavela::midi
