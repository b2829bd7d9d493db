// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "harmony/chord.h"

namespace sonavela::midi {

// How a chord is laid out on the keyboard.
enum class VoicingMode {
  kFull,       // every pitch class in 61-96 and the root twice in 37-60
  kClose,      // root in the bass, the tones in close position, led smoothly
  kOpen,       // the same over a spread (drop-2) position
  kBassTriad,  // root in the bass, the chord in root position: no leading
};

[[nodiscard]] std::optional<VoicingMode> ParseVoicingMode(std::string_view name);
[[nodiscard]] std::string_view VoicingModeName(VoicingMode mode);
// Every mode's name, in the order of VoicingMode.
[[nodiscard]] std::span<const std::string_view> VoicingModeNames();

// MIDI notes, both ends included.
struct NoteRange {
  int low = 0;
  int high = 127;

  friend constexpr bool operator==(const NoteRange&, const NoteRange&) = default;
};

// Where the upper voices of every mode but kFull lie unless told: around
// middle C, wide enough for a spread position.
inline constexpr NoteRange kDefaultRegister{55, 79};
// A register must hold any chord in close position.
inline constexpr int kNarrowestRegister = 12;
inline constexpr NoteRange kBassRange{36, 55};

// The notes of one chord, bass last, in the order they are sent.
struct VoicedChord {
  static constexpr std::size_t kCapacity = 40;  // three octaves of five tones, and the bass
  struct Note {
    int key = 0;
    bool bass = false;
  };

  std::array<Note, kCapacity> notes{};
  std::size_t count = 0;

  void Add(int key, bool bass) {
    if (count < kCapacity) {
      notes[count++] = {key, bass};
    }
  }
  [[nodiscard]] const Note* begin() const { return notes.data(); }
  [[nodiscard]] const Note* end() const { return notes.data() + count; }
};

// Lays out chord after chord; the led modes remember the last chord's upper
// voices and bass to move from them as little as they can.
class Voicer {
 public:
  explicit Voicer(VoicingMode mode = VoicingMode::kFull, NoteRange upper = kDefaultRegister);

  [[nodiscard]] VoicedChord Voice(const harmony::Chord& chord);
  // The next chord is voiced as a first one: in root position.
  void Reset();

  [[nodiscard]] VoicingMode Mode() const { return mode_; }

 private:
  VoicingMode mode_;
  NoteRange upper_;
  std::array<int, harmony::kToneSlots> last_{};
  std::size_t lastCount_ = 0;
  int lastBass_ = -1;
};

// Total movement in semitones from one set of upper voices to the next, each
// sorted from the bottom: voice by voice when they have as many voices, else
// every new voice from the nearest old one.
[[nodiscard]] int VoiceMovement(const int* from, std::size_t fromCount, const int* to,
                                std::size_t toCount);

}  // namespace sonavela::midi
