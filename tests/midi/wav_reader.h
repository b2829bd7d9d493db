// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonavela::midi::testing {

// Just enough of RIFF/WAVE to check what the renderer wrote, read
// independently of the writer's code.
struct WavData {
  int channels = 0;
  int sampleRate = 0;
  int bitsPerSample = 0;
  std::uint32_t declaredDataBytes = 0;
  std::vector<std::int16_t> samples;  // interleaved
};

[[nodiscard]] std::optional<WavData> ReadWav(const std::string& path, std::string& error);

// Power of each pitch class (0 = C) in the mono mix of `wav` between the two
// times, by Goertzel filters on the equal-tempered frequencies of MIDI notes
// 24..108 over a Hann window.
[[nodiscard]] std::vector<double> PitchClassPower(const WavData& wav, double fromSeconds,
                                                  double toSeconds);

}  // namespace sonavela::midi::testing
