// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "midi/files/byte_sink.h"

namespace sonavela::midi {

enum class AudioFormat {
  kWav,        // RIFF/WAVE of 16-bit PCM, as every reader knows it: up to 4 GiB
  kFlac,       // lossless and about half the size
  kRf64,       // the 64-bit WAVE of broadcasters, whatever the size
  kWavStream,  // WAVE for a pipe: written once, front to back, sizes unknown
};

// The format a file name asks for by its extension: .wav (or none), .flac,
// .rf64; std::nullopt for any other.
[[nodiscard]] std::optional<AudioFormat> AudioFormatOfName(std::string_view path);

// The largest sound a plain WAV file holds, in bytes of samples.
inline constexpr std::uint64_t kLargestWavData = 0xFFFFFFFFULL - 44;

// Writes 16-bit PCM in one format into a sink.
class AudioWriter {
 public:
  virtual ~AudioWriter() = default;

  // Begins the file. `sink` must outlive the writer.
  virtual Status Open(ByteSink& sink, int sampleRate, int channels) = 0;
  // Interleaved samples; their count must be a multiple of the channel count.
  virtual Status Append(std::span<const std::int16_t> samples) = 0;
  // Completes the file; the writer is closed afterwards, whatever happens.
  virtual Status Finish() = 0;

  [[nodiscard]] virtual bool IsOpen() const = 0;
  [[nodiscard]] virtual std::uint64_t FramesWritten() const = 0;
};

[[nodiscard]] std::unique_ptr<AudioWriter> MakeAudioWriter(AudioFormat format);

}  // namespace sonavela::midi
