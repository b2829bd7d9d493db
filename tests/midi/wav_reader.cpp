// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav_reader.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace sonavela::midi::testing {

namespace {

std::uint32_t Little(const std::vector<unsigned char>& bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  }
  return value;
}

bool HasTag(const std::vector<unsigned char>& bytes, std::size_t at, const char* tag) {
  return bytes.size() >= at + 4 && std::equal(tag, tag + 4, bytes.begin() + static_cast<long>(at));
}

}  // namespace

std::optional<WavData> ReadWav(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file),
                                         std::istreambuf_iterator<char>()};
  if (bytes.size() < 12 || !HasTag(bytes, 0, "RIFF") || !HasTag(bytes, 8, "WAVE")) {
    error = "not a WAV file: " + path;
    return std::nullopt;
  }
  if (Little(bytes, 4, 4) != bytes.size() - 8) {
    error = "the RIFF size is not the file's";
    return std::nullopt;
  }
  // Chunks in any order, each padded to an even size; the ones other than
  // the format and the samples (JUNK, LIST) are passed over.
  WavData wav;
  bool format = false;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const std::uint32_t size = Little(bytes, at + 4, 4);
    const std::size_t body = at + 8;
    if (body + size > bytes.size()) {
      error = "a chunk runs past the end of the file";
      return std::nullopt;
    }
    if (HasTag(bytes, at, "fmt ") && size >= 16) {
      if (Little(bytes, body, 2) != 1) {
        error = "not PCM";
        return std::nullopt;
      }
      wav.channels = static_cast<int>(Little(bytes, body + 2, 2));
      wav.sampleRate = static_cast<int>(Little(bytes, body + 4, 4));
      wav.bitsPerSample = static_cast<int>(Little(bytes, body + 14, 2));
      format = true;
    } else if (HasTag(bytes, at, "data")) {
      if (!format) {
        error = "samples before their format";
        return std::nullopt;
      }
      wav.declaredDataBytes = size;
      for (std::size_t i = body; i + 1 < body + size; i += 2) {
        wav.samples.push_back(static_cast<std::int16_t>(Little(bytes, i, 2)));
      }
      return wav;
    }
    at = body + size + (size % 2);
  }
  error = "no samples in " + path;
  return std::nullopt;
}

std::vector<double> PitchClassPower(const WavData& wav, double fromSeconds, double toSeconds) {
  const auto channels = static_cast<std::size_t>(wav.channels);
  const std::size_t frames = wav.samples.size() / channels;
  const auto first = std::min(frames, static_cast<std::size_t>(fromSeconds * wav.sampleRate));
  const auto last = std::min(frames, static_cast<std::size_t>(toSeconds * wav.sampleRate));
  const std::size_t length = last > first ? last - first : 0;
  std::vector<double> mono(length);
  for (std::size_t i = 0; i < length; ++i) {
    double sum = 0.0;
    for (std::size_t c = 0; c < channels; ++c) {
      sum += wav.samples[(first + i) * channels + c];
    }
    const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                             static_cast<double>(length));
    mono[i] = hann * sum / static_cast<double>(channels);
  }
  std::vector<double> power(12, 0.0);
  for (int note = 24; note <= 108; ++note) {
    const double frequency = 440.0 * std::pow(2.0, (note - 69) / 12.0);
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / wav.sampleRate);
    double s1 = 0.0;
    double s2 = 0.0;
    for (double x : mono) {
      const double s0 = x + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    power[static_cast<std::size_t>(note % 12)] += s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  }
  return power;
}

}  // namespace sonavela::midi::testing
