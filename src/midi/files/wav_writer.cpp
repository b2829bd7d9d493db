// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/files/wav_writer.h"

#include <array>
#include <limits>
#include <vector>

namespace sonavela::midi {

namespace {

constexpr std::uint32_t kHeaderBytes = 44;
constexpr std::uint32_t kBytesPerSample = 2;

using Header = std::array<std::uint8_t, kHeaderBytes>;

// RIFF is little-endian whatever the machine is.
template <typename T>
void PutLittleEndian(Header& header, std::size_t at, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    header[at + i] = static_cast<std::uint8_t>((static_cast<std::uint64_t>(value) >> (8 * i)));
  }
}

void PutTag(Header& header, std::size_t at, const char (&tag)[5]) {
  for (std::size_t i = 0; i < 4; ++i) {
    header[at + i] = static_cast<std::uint8_t>(tag[i]);
  }
}

// What sox itself writes into a pipe for a length it cannot know: large,
// and read by sox, ffmpeg and libsndfile as "up to the end of the stream".
constexpr std::uint32_t kUnknownSize = 0x7FFFF000;

Header MakeHeader(int sampleRate, int channelCount, std::uint32_t dataBytes) {
  Header header{};
  const auto channels = static_cast<std::uint16_t>(channelCount);
  const auto rate = static_cast<std::uint32_t>(sampleRate);
  PutTag(header, 0, "RIFF");
  PutLittleEndian<std::uint32_t>(header, 4, kHeaderBytes - 8 + dataBytes);
  PutTag(header, 8, "WAVE");
  PutTag(header, 12, "fmt ");
  PutLittleEndian<std::uint32_t>(header, 16, 16);  // size of the PCM format chunk
  PutLittleEndian<std::uint16_t>(header, 20, 1);   // PCM
  PutLittleEndian<std::uint16_t>(header, 22, channels);
  PutLittleEndian<std::uint32_t>(header, 24, rate);
  PutLittleEndian<std::uint32_t>(header, 28, rate * channels * kBytesPerSample);
  PutLittleEndian<std::uint16_t>(header, 32,
                                 static_cast<std::uint16_t>(channels * kBytesPerSample));
  PutLittleEndian<std::uint16_t>(header, 34, 16);  // bits per sample
  PutTag(header, 36, "data");
  PutLittleEndian<std::uint32_t>(header, 40, dataBytes);
  return header;
}

}  // namespace

Status WavWriter::Open(ByteSink& sink, int sampleRate, int channels) {
  sink_ = nullptr;
  if (sampleRate <= 0 || channels <= 0) {
    return Error::Of(ErrorKind::kBadUse, {}, "invalid WAV format");
  }
  sampleRate_ = sampleRate;
  channels_ = channels;
  frames_ = 0;
  if (Status written = sink.Append(
          MakeHeader(sampleRate_, channels_, sizes_ == Sizes::kUnknown ? kUnknownSize : 0));
      !written) {
    return written;
  }
  sink_ = &sink;
  return {};
}

Status WavWriter::Append(std::span<const std::int16_t> samples) {
  if (!IsOpen()) {
    return Error::Of(ErrorKind::kBadUse, {}, "no WAV file is open");
  }
  const auto channels = static_cast<std::size_t>(channels_);
  const std::uint64_t dataBytes =
      (frames_ + samples.size() / channels) * channels * kBytesPerSample;
  if (sizes_ == Sizes::kCompleted &&
      dataBytes > std::numeric_limits<std::uint32_t>::max() - kHeaderBytes) {
    return Error::Of(ErrorKind::kWavTooLarge);
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(samples.size() * kBytesPerSample);
  for (std::int16_t sample : samples) {
    const auto bits = static_cast<std::uint16_t>(sample);
    bytes.push_back(static_cast<std::uint8_t>(bits & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
  }
  if (Status written = sink_->Append(bytes); !written) {
    return written;
  }
  frames_ += samples.size() / channels;
  return {};
}

Status WavWriter::Finish() {
  if (!IsOpen()) {
    return {};
  }
  if (sizes_ == Sizes::kUnknown) {
    sink_ = nullptr;
    return {};
  }
  const auto dataBytes =
      static_cast<std::uint32_t>(frames_ * static_cast<std::uint64_t>(channels_) * kBytesPerSample);
  Status written = sink_->Overwrite(0, MakeHeader(sampleRate_, channels_, dataBytes));
  sink_ = nullptr;
  return written;
}

}  // namespace sonavela::midi
