// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/port/voicing.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

#include "harmony/note.h"

namespace sonavela::midi {

namespace {

// The three-octave voicing: upper voices and bass, each walked from the top down.
constexpr int kOctavesUpperHighest = 96;
constexpr int kOctavesUpperLowest = 61;
constexpr int kOctavesBassHighest = 60;
constexpr int kOctavesBassLowest = 37;
// Where the bass of a first chord (and of every unled chord) lies: one
// octave, so each root has one place.
constexpr int kSteadyBassLowest = 43;

constexpr std::array<std::string_view, 4> kModeNames{"full", "close", "open", "bass-triad"};

// At most five keys: sorted in place by insertion, where GCC's -O3 sees
// std::sort over a part of a small array as running off its end.
template <typename Less>
void SortFirst(std::array<int, harmony::kToneSlots>& keys, std::size_t count, Less less) {
  for (std::size_t i = 1; i < count && i < keys.size(); ++i) {
    for (std::size_t j = i; j > 0 && less(keys[j], keys[j - 1]); --j) {
      std::swap(keys[j], keys[j - 1]);
    }
  }
}

void SortFirst(std::array<int, harmony::kToneSlots>& keys, std::size_t count) {
  SortFirst(keys, count, [](int a, int b) { return a < b; });
}

struct Tones {
  std::array<int, harmony::kToneSlots> classes{};  // from the root upwards
  std::size_t count = 0;
  int root = 0;
};

// The chord's distinct pitch classes, ordered by their distance above the
// root, as a root position stacks them.
Tones TonesOf(const harmony::Chord& chord) {
  Tones tones;
  // The bass reads the first slot even when it ends the tone list, as the
  // three-octave voicing does.
  tones.root = harmony::PitchClass(harmony::MoveByWholeTones(chord.root, chord.type.tones[0]));
  for (const harmony::SpelledNote tone : harmony::ChordTones(chord)) {
    const int pc = harmony::PitchClass(tone);
    if (std::find(tones.classes.begin(), tones.classes.begin() + tones.count, pc) ==
        tones.classes.begin() + tones.count) {
      tones.classes[tones.count++] = pc;
    }
  }
  const int root = tones.root;
  SortFirst(tones.classes, tones.count,
            [root](int a, int b) { return (a - root + 12) % 12 < (b - root + 12) % 12; });
  return tones;
}

struct Shape {
  std::array<int, harmony::kToneSlots> keys{};  // ascending, lowest at 0
  std::size_t count = 0;
  int lowestClass = 0;
};

// Inversion `inversion` in close position, the lowest note at 0, optionally
// spread by dropping the second voice from the top an octave.
Shape ShapeOf(const Tones& tones, std::size_t inversion, bool spread) {
  Shape shape;
  shape.count = tones.count;
  const int lowest = tones.classes[inversion];
  shape.lowestClass = lowest;
  for (std::size_t i = 0; i < tones.count; ++i) {
    const int pc = tones.classes[(inversion + i) % tones.count];
    shape.keys[i] = (pc - lowest + 12) % 12;
  }
  SortFirst(shape.keys, shape.count);
  if (spread && shape.count >= 3) {
    shape.keys[shape.count - 2] -= 12;
    SortFirst(shape.keys, shape.count);
    const int bottom = shape.keys[0];
    for (std::size_t i = 0; i < shape.count; ++i) {
      shape.keys[i] -= bottom;
    }
    shape.lowestClass = (lowest + bottom + 24) % 12;
  }
  return shape;
}

// Where the shape's lowest note can go: every octave in which the whole shape
// fits the register.
std::array<int, 12> Placements(const Shape& shape, NoteRange range, std::size_t& count) {
  std::array<int, 12> placements{};
  count = 0;
  const int span = shape.keys[shape.count - 1];
  const int first = range.low + (shape.lowestClass - range.low % 12 + 12) % 12;
  for (int bottom = first; bottom + span <= range.high && count < placements.size(); bottom += 12) {
    placements[count++] = bottom;
  }
  return placements;
}

}  // namespace

std::optional<VoicingMode> ParseVoicingMode(std::string_view name) {
  for (std::size_t i = 0; i < kModeNames.size(); ++i) {
    if (kModeNames[i] == name) {
      return static_cast<VoicingMode>(i);
    }
  }
  return std::nullopt;
}

std::string_view VoicingModeName(VoicingMode mode) {
  return kModeNames[static_cast<std::size_t>(mode)];
}

std::span<const std::string_view> VoicingModeNames() {
  return kModeNames;
}

int VoiceMovement(const int* from, std::size_t fromCount, const int* to, std::size_t toCount) {
  int total = 0;
  if (fromCount == toCount) {
    for (std::size_t i = 0; i < toCount; ++i) {
      total += std::abs(to[i] - from[i]);
    }
    return total;
  }
  for (std::size_t i = 0; i < toCount && fromCount > 0; ++i) {
    int nearest = std::numeric_limits<int>::max();
    for (std::size_t j = 0; j < fromCount; ++j) {
      nearest = std::min(nearest, std::abs(to[i] - from[j]));
    }
    total += nearest;
  }
  return total;
}

Voicer::Voicer(VoicingMode mode, NoteRange upper) : mode_(mode), upper_(upper) {}

void Voicer::Reset() {
  lastCount_ = 0;
  lastBass_ = -1;
}

VoicedChord Voicer::Voice(const harmony::Chord& chord) {
  VoicedChord voiced;
  const Tones tones = TonesOf(chord);
  if (mode_ == VoicingMode::kFull) {
    for (int n = kOctavesUpperHighest; n >= kOctavesUpperLowest; --n) {
      if (std::find(tones.classes.begin(), tones.classes.begin() + tones.count, n % 12) !=
          tones.classes.begin() + tones.count) {
        voiced.Add(n, false);
      }
    }
    for (int n = kOctavesBassHighest; n >= kOctavesBassLowest; --n) {
      if (tones.root == n % 12) {
        voiced.Add(n, true);
      }
    }
    return voiced;
  }

  Shape best;
  int bestBottom = 0;
  if (tones.count > 0) {
    // An unled chord is in root position where the register holds it, else
    // in the first inversion that fits.
    const bool led = mode_ != VoicingMode::kBassTriad && lastCount_ > 0;
    const std::size_t inversions = tones.count;
    int bestCost = std::numeric_limits<int>::max();
    // A spread shape that no octave of the register holds is played close.
    for (const bool spread : {mode_ == VoicingMode::kOpen, false}) {
      for (std::size_t inversion = 0; inversion < inversions; ++inversion) {
        const Shape shape = ShapeOf(tones, inversion, spread);
        std::size_t count = 0;
        const std::array<int, 12> placements = Placements(shape, upper_, count);
        for (std::size_t p = 0; p < (led ? count : std::min<std::size_t>(count, 1)); ++p) {
          std::array<int, harmony::kToneSlots> keys{};
          for (std::size_t i = 0; i < shape.count; ++i) {
            keys[i] = placements[p] + shape.keys[i];
          }
          const int cost = led ? VoiceMovement(last_.data(), lastCount_, keys.data(), shape.count)
                               : static_cast<int>(inversion);
          // Strictly less: ties go to the lower inversion, then the lower place.
          if (cost < bestCost) {
            bestCost = cost;
            best = shape;
            bestBottom = placements[p];
          }
        }
      }
      if (bestCost != std::numeric_limits<int>::max()) {
        break;
      }
    }
  }

  // Upper voices from the top down, then the bass, as the three-octave voicing
  // sends them.
  for (std::size_t i = best.count; i-- > 0;) {
    voiced.Add(bestBottom + best.keys[i], false);
  }
  const int lowestUpper = best.count > 0 ? bestBottom : kBassRange.high + 1;
  int bass = kSteadyBassLowest + (tones.root - kSteadyBassLowest % 12 + 12) % 12;
  if (mode_ != VoicingMode::kBassTriad && lastBass_ >= 0) {
    int nearest = std::numeric_limits<int>::max();
    for (int n = kBassRange.low; n <= kBassRange.high; ++n) {
      if (n % 12 == tones.root && std::abs(n - lastBass_) < nearest) {
        nearest = std::abs(n - lastBass_);
        bass = n;
      }
    }
  }
  while (bass >= lowestUpper && bass - 12 >= 0) {
    bass -= 12;
  }
  voiced.Add(bass, true);

  lastCount_ = best.count;
  for (std::size_t i = 0; i < best.count; ++i) {
    last_[i] = bestBottom + best.keys[i];
  }
  lastBass_ = bass;
  return voiced;
}

}  // namespace sonavela::midi
