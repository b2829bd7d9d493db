// SPDX-License-Identifier: GPL-3.0-or-later
// CPU time of the plugin's run() per cycle of 64 frames at 48 kHz, over ten
// minutes of music with a chord on every beat at 240 BPM, a tempo change, a
// relocation and stops: the median and the worst cycle, and the same for the
// cycles that play a chord.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "lv2_host.h"

namespace {

using sonavela::plugin::testing::Control;
using sonavela::plugin::testing::Lv2Host;
using sonavela::plugin::testing::Position;

constexpr std::uint32_t kBlock = 64;
constexpr std::int64_t kMinute = 60 * 48000;

struct Figures {
  double median = 0.0;
  double p99 = 0.0;
  double max = 0.0;
};

Figures Of(std::vector<std::int64_t> nanoseconds) {
  if (nanoseconds.empty()) {
    return {};
  }
  std::sort(nanoseconds.begin(), nanoseconds.end());
  const auto at = [&](double share) {
    return static_cast<double>(
               nanoseconds[static_cast<std::size_t>(share * (nanoseconds.size() - 1))]) /
           1000.0;
  };
  return {at(0.5), at(0.99), at(1.0)};
}

}  // namespace

int main() {
  Lv2Host host;
  host.SetControl(Control::kBeatsPerChord, 1);
  host.MeasureRuns();
  host.SendPosition(0, Position{0, 0.0, 240.0, 1.0, 4.0});
  host.SendPosition(3 * kMinute, Position{100, 0.0, 180.0, 1.0, 4.0});        // relocation, tempo
  host.SendPosition(5 * kMinute, Position{200, 0.0, 180.0, 0.0, 4.0});        // stop
  host.SendPosition(5 * kMinute + 48000, Position{0, 0.0, 240.0, 1.0, 4.0});  // from bar 1
  host.RunUntil(10 * kMinute, kBlock);

  const std::vector<std::int64_t>& all = host.RunNanoseconds();
  std::vector<bool> playing(all.size(), false);
  for (const auto& record : host.Midi()) {
    playing[static_cast<std::size_t>(record.frame / kBlock)] = true;
  }
  std::vector<std::int64_t> withChord;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (playing[i]) {
      withChord.push_back(all[i]);
    }
  }
  const Figures every = Of(all);
  const Figures chords = Of(withChord);
  std::printf("run() CPU time per cycle of %u frames at 48 kHz (%.2f ms of audio):\n", kBlock,
              kBlock / 48.0);
  std::printf("  all %zu cycles:          median %.2f us, p99 %.2f us, max %.2f us\n", all.size(),
              every.median, every.p99, every.max);
  std::printf("  %zu cycles with a chord: median %.2f us, p99 %.2f us, max %.2f us\n",
              withChord.size(), chords.median, chords.p99, chords.max);
  return 0;
}
