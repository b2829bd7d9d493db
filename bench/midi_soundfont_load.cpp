// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how long the built-in synthesizer takes to load a SoundFont, how
// much resident memory the loaded synthesizer costs, and how fast it renders.
//   midi_soundfont_load [soundfont.sf2]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "harmony/chord.h"
#include "midi/files/byte_sink.h"
#include "midi/files/synth_renderer.h"
#include "midi/port/midi_port.h"

namespace {

using Clock = std::chrono::steady_clock;

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
         (1024.0 * 1024.0);
}

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The rendered sound is not the point here.
class DiscardingSink final : public sonavela::midi::ByteSink {
 public:
  sonavela::Status Append(std::span<const std::uint8_t>) override { return {}; }
  sonavela::Status Overwrite(std::uint64_t, std::span<const std::uint8_t>) override { return {}; }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace sonavela::midi;
  SynthRendererOptions options;
  options.soundFont = argc > 1 ? argv[1] : "/usr/share/sounds/sf2/TimGM6mb.sf2";

  DiscardingSink discard;
  constexpr int kRuns = 5;
  std::vector<double> loads;
  double firstDelta = 0.0;
  double firstLoad = 0.0;
  for (int run = 0; run < kRuns; ++run) {
    const double before = ResidentMiB();
    const auto start = Clock::now();
    SynthRenderer renderer(options);
    if (sonavela::Status begun = renderer.Begin(discard); !begun) {
      std::fprintf(stderr, "%s\n", sonavela::EnglishText(begun.error()).c_str());
      return 1;
    }
    loads.push_back(Milliseconds(Clock::now() - start));
    if (run == 0) {
      firstDelta = ResidentMiB() - before;
      firstLoad = loads.back();
    }
  }
  std::sort(loads.begin(), loads.end());
  std::printf("soundfont: %s\n", options.soundFont.c_str());
  std::printf("load time: first %.1f ms, median %.1f ms, min %.1f ms over %d fresh synthesizers\n",
              firstLoad, loads[kRuns / 2], loads.front(), kRuns);
  std::printf("resident memory of the loaded synthesizer (first load): %.1f MiB\n", firstDelta);

  // Rendering speed for the program's pace: one chord every 2 s.
  auto renderer = std::make_shared<SynthRenderer>(options);
  MidiPort port(std::make_unique<RendererBackend>(renderer, discard));
  const Timestamp start0{};
  if (sonavela::Status opened = port.OpenDevice(0, start0); !opened) {
    std::fprintf(stderr, "%s\n", sonavela::EnglishText(opened.error()).c_str());
    return 1;
  }
  port.ProgramChange(49, start0);
  const sonavela::harmony::Chord chords[] = {{{'C', 0}, sonavela::harmony::kMajorTriad},
                                             {{'A', 0}, sonavela::harmony::kMinorTriad}};
  constexpr int kChords = 30;
  const auto start = Clock::now();
  for (int i = 0; i < kChords; ++i) {
    port.PlayChord(chords[i % 2], start0 + i * std::chrono::milliseconds(2000));
    if (sonavela::Status rendered =
            renderer->RenderUntil((i + 1) * std::chrono::milliseconds(2000));
        !rendered) {
      std::fprintf(stderr, "%s\n", sonavela::EnglishText(rendered.error()).c_str());
      return 1;
    }
  }
  const double elapsed = Milliseconds(Clock::now() - start);
  std::printf("offline rendering: %d chords (%d s of audio) in %.0f ms, %.0fx real time\n", kChords,
              kChords * 2, elapsed, kChords * 2000.0 / elapsed);
  return 0;
}
