// SPDX-License-Identifier: GPL-3.0-or-later
// What each voicing does to 400 chords of the default progression (seed 1,
// C major): notes per chord, and how far the upper voices move from one
// chord to the next, in semitones summed over the voices.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "generator/generator.h"
#include "generator/load_rules.h"
#include "generator/rule_file.h"
#include "midi/port/voicing.h"

namespace {

using sonavela::generator::ProgressionGenerator;
using sonavela::midi::VoicedChord;
using sonavela::midi::Voicer;
using sonavela::midi::VoicingMode;

constexpr int kChords = 400;

std::vector<int> Upper(const VoicedChord& voiced) {
  std::vector<int> keys;
  for (const VoicedChord::Note& note : voiced) {
    if (!note.bass) {
      keys.push_back(note.key);
    }
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace

int main() {
  std::printf("%d chords of the default progression, seed 1, C major, register 55-79:\n", kChords);
  for (const VoicingMode mode :
       {VoicingMode::kFull, VoicingMode::kClose, VoicingMode::kOpen, VoicingMode::kBassTriad}) {
    ProgressionGenerator generator;
    (void)sonavela::generator::LoadRules(generator, sonavela::generator::DefaultRuleTables(),
                                         false);
    generator.Reset();
    Voicer voicer(mode);
    std::size_t notes = 0;
    std::size_t fewest = 1000;
    std::size_t most = 0;
    long movement = 0;
    int topmost = 0;
    std::vector<int> last;
    for (int i = 0; i < kChords; ++i) {
      const VoicedChord voiced = voicer.Voice(generator.PopStep().chord);
      generator.Advance();
      notes += voiced.count;
      fewest = std::min(fewest, voiced.count);
      most = std::max(most, voiced.count);
      const std::vector<int> upper = Upper(voiced);
      if (!upper.empty()) {
        topmost = std::max(topmost, upper.back());
      }
      if (i > 0) {
        movement +=
            sonavela::midi::VoiceMovement(last.data(), last.size(), upper.data(), upper.size());
      }
      last = upper;
    }
    std::printf(
        "  %-10s notes per chord: mean %.2f (%zu to %zu); upper voices move %.2f semitones a "
        "chord; highest note %d\n",
        std::string(sonavela::midi::VoicingModeName(mode)).c_str(),
        static_cast<double>(notes) / kChords, fewest, most,
        static_cast<double>(movement) / (kChords - 1), topmost);
  }
  return 0;
}
