// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/files/audio_writer.h"

#include <algorithm>
#include <string>

#include "midi/files/sndfile_writer.h"
#include "midi/files/wav_writer.h"

namespace sonavela::midi {

std::optional<AudioFormat> AudioFormatOfName(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) {
    return AudioFormat::kWav;
  }
  std::string extension(name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  });
  if (extension == "wav" || extension == "wave") {
    return AudioFormat::kWav;
  }
  if (extension == "flac") {
    return AudioFormat::kFlac;
  }
  if (extension == "rf64") {
    return AudioFormat::kRf64;
  }
  return std::nullopt;
}

std::unique_ptr<AudioWriter> MakeAudioWriter(AudioFormat format) {
  if (format == AudioFormat::kWavStream) {
    return std::make_unique<WavWriter>(WavWriter::Sizes::kUnknown);
  }
  return std::make_unique<SndfileWriter>(format);
}

}  // namespace sonavela::midi
