// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "midi/files/audio_writer.h"

struct sf_private_tag;

namespace sonavela::midi {

// WAV (RF64 beyond 4 GiB), FLAC and RF64 through libsndfile, into a sink
// that can go back to complete a header, such as a file being saved.
class SndfileWriter final : public AudioWriter {
 public:
  explicit SndfileWriter(AudioFormat format);
  ~SndfileWriter() override;
  SndfileWriter(const SndfileWriter&) = delete;
  SndfileWriter& operator=(const SndfileWriter&) = delete;

  Status Open(ByteSink& sink, int sampleRate, int channels) override;
  Status Append(std::span<const std::int16_t> samples) override;
  Status Finish() override;

  [[nodiscard]] bool IsOpen() const override { return file_ != nullptr; }
  [[nodiscard]] std::uint64_t FramesWritten() const override { return frames_; }

  // libsndfile's view of the sink: a file with a position.
  [[nodiscard]] std::int64_t Length() const { return static_cast<std::int64_t>(size_); }
  [[nodiscard]] std::int64_t Seek(std::int64_t offset, int whence);
  [[nodiscard]] std::int64_t Write(const void* data, std::int64_t count);
  [[nodiscard]] std::int64_t Tell() const { return static_cast<std::int64_t>(position_); }

 private:
  // The sink's failure if it failed, else libsndfile's words.
  [[nodiscard]] Error Failure(const char* library) const;

  AudioFormat format_;
  sf_private_tag* file_ = nullptr;
  ByteSink* sink_ = nullptr;
  int channels_ = 0;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t frames_ = 0;
  std::optional<Error> sinkError_;
};

}  // namespace sonavela::midi
