// SPDX-License-Identifier: GPL-3.0-or-later
// Resident memory of a long run: a session plays a million chords at
// interval 0 to no device, as `sonavela-cli --device none --interval 0`
// does, and the growth of the resident set between chord 10^4 and the last
// is printed. Then the same with the recording kept for a save, as the
// dialog keeps it, for comparison.
//
//   sonavela_playback_memory [--chords N]

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "playback/session.h"
#include "timing/chord_clock.h"

namespace {

using namespace sonavela;

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

void Measure(const char* what, bool keepRecording, long chords) {
  playback::SessionOptions options;
  options.clock = std::make_unique<timing::GridClock>(std::chrono::nanoseconds(0));
  options.keepRecording = keepRecording;
  playback::PlaybackSession session(std::move(options));
  constexpr long kWarmUp = 10'000;
  long played = 0;
  long before = 0;
  session.SetStepListener([&](const generator::ProgressionStep&, const std::string&) {
    if (++played == kWarmUp) {
      before = ResidentKiB();
    }
  });
  session.Start();
  while (played < chords) {
    session.Tick();
  }
  const long after = ResidentKiB();
  session.Stop();
  std::printf("%-44s %9ld chords  RSS at 10^4 %7ld KiB, at the end %7ld KiB, growth %7ld KiB\n",
              what, played, before, after, after - before);
}

}  // namespace

int main(int argc, char** argv) {
  long chords = 1'000'000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string_view(argv[i]) == "--chords") {
      chords = std::atol(argv[i + 1]);
    }
  }
  Measure("nothing to save (command line, plugin)", false, chords);
  Measure("kept for a save (the dialog)", true, chords);
  return 0;
}
