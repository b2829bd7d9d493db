// SPDX-License-Identifier: GPL-3.0-or-later
// How loud a render of 16 chords of the default progression is, per voicing
// and for a piano and the default strings: integrated loudness by EBU R 128
// (libebur128), of what sonavela-cli --wav writes, read back by libsndfile.
#include <ebur128.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace {

// std::nullopt-like: NaN when the file cannot be measured.
double IntegratedLoudness(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  ebur128_state* meter = ebur128_init(static_cast<unsigned>(info.channels),
                                      static_cast<unsigned long>(info.samplerate), EBUR128_MODE_I);
  std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
  for (sf_count_t frames; (frames = sf_readf_float(file, block.data(), 4096)) > 0;) {
    ebur128_add_frames_float(meter, block.data(), static_cast<std::size_t>(frames));
  }
  double loudness = 0;
  if (ebur128_loudness_global(meter, &loudness) != EBUR128_SUCCESS) {
    loudness = std::numeric_limits<double>::quiet_NaN();
  }
  ebur128_destroy(&meter);
  sf_close(file);
  return loudness;
}

}  // namespace

int main() {
  char folder[] = "/tmp/sonavela-loudness-XXXXXX";
  if (::mkdtemp(folder) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string wav = std::string(folder) + "/render.wav";
  std::printf("16 chords, seed 1, C major, 120 BPM, gain 0 dB, reverb and chorus on (LUFS):\n");
  std::printf("%-12s %10s %10s\n", "voicing", "piano (1)", "strings (49)");
  for (const char* voicing : {"full", "close", "open", "bass-triad"}) {
    std::printf("%-12s", voicing);
    for (const char* instrument : {"1", "49"}) {
      const std::string command = std::string(SONAVELA_CLI_PATH) + " --steps 16 --voicing " +
                                  voicing + " --instrument " + instrument + " --wav " + wav +
                                  " > /dev/null";
      const double lufs = std::system(command.c_str()) == 0
                              ? IntegratedLoudness(wav)
                              : std::numeric_limits<double>::quiet_NaN();
      std::printf(" %10.1f", lufs);
    }
    std::printf("\n");
  }
  std::remove(wav.c_str());
  ::rmdir(folder);
  return 0;
}
