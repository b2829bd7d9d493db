#include "midi/wav_writer.h"

#include <array>
#include <limits>

namespace sonavela::midi {

namespace {

constexpr std::uint32_t kHeaderBytes = 44;
constexpr std::uint32_t kBytesPerSample = 2;

// RIFF is little-endian whatever the machine is.
template <typename T>
void PutLittleEndian(std::array<char, kHeaderBytes>& header, std::size_t at, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    header[at + i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
  }
}

void PutTag(std::array<char, kHeaderBytes>& header, std::size_t at, const char (&tag)[5]) {
  for (std::size_t i = 0; i < 4; ++i) {
    header[at + i] = tag[i];
  }
}

}  // namespace

WavWriter::~WavWriter() {
  if (IsOpen()) {
    (void)Finish();
  }
}

bool WavWriter::Open(const std::string& path, int sampleRate, int channels) {
  if (IsOpen() && !Finish()) {
    return false;
  }
  if (sampleRate <= 0 || channels <= 0) {
    lastError_ = "Invalid WAV format.";
    return false;
  }
  path_ = path;
  sampleRate_ = sampleRate;
  channels_ = channels;
  frames_ = 0;
  file_.open(path, std::ios::binary | std::ios::trunc);
  if (!file_.is_open()) {
    lastError_ = "Cannot create the WAV file \"" + path + "\".";
    return false;
  }
  if (!WriteHeader(0)) {
    file_.close();
    return false;
  }
  lastError_.clear();
  return true;
}

bool WavWriter::Append(std::span<const std::int16_t> samples) {
  if (!IsOpen()) {
    lastError_ = "No WAV file is open.";
    return false;
  }
  const auto channels = static_cast<std::size_t>(channels_);
  const std::uint64_t dataBytes =
      (frames_ + samples.size() / channels) * channels * kBytesPerSample;
  if (dataBytes > std::numeric_limits<std::uint32_t>::max() - kHeaderBytes) {
    lastError_ = "The WAV file \"" + path_ + "\" would exceed 4 GiB.";
    return false;
  }
  for (std::int16_t sample : samples) {
    const auto bits = static_cast<std::uint16_t>(sample);
    const char bytes[2] = {static_cast<char>(bits & 0xFF), static_cast<char>(bits >> 8)};
    file_.write(bytes, 2);
  }
  if (!file_) {
    lastError_ = "Writing the WAV file \"" + path_ + "\" failed.";
    return false;
  }
  frames_ += samples.size() / channels;
  return true;
}

bool WavWriter::Finish() {
  if (!IsOpen()) {
    return true;
  }
  const auto dataBytes =
      static_cast<std::uint32_t>(frames_ * static_cast<std::uint64_t>(channels_) * kBytesPerSample);
  file_.seekp(0);
  const bool headerWritten = WriteHeader(dataBytes);
  file_.close();
  if (!headerWritten || file_.fail()) {
    lastError_ = "Finishing the WAV file \"" + path_ + "\" failed.";
    return false;
  }
  return true;
}

bool WavWriter::WriteHeader(std::uint32_t dataBytes) {
  std::array<char, kHeaderBytes> header{};
  const auto channels = static_cast<std::uint16_t>(channels_);
  const auto rate = static_cast<std::uint32_t>(sampleRate_);
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
  file_.write(header.data(), header.size());
  if (!file_) {
    lastError_ = "Writing the WAV file \"" + path_ + "\" failed.";
    return false;
  }
  return true;
}

}  // namespace sonavela::midi
