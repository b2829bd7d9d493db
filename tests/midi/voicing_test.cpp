// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/port/voicing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harmony/chord.h"
#include "harmony/note.h"
#include "midi/port/midi_port.h"
#include "support/recording_backend.h"

namespace sonavela::midi {
namespace {

using harmony::Chord;
using harmony::ChordType;

// Shapes the corrections make, besides the three triads: no third's
// partner, an augmented fifth, a seventh chord of four tones.
constexpr ChordType kFlatFifthMajor{1, {{{0, 0}, {2, 0}, {4, -2}, {-1, 0}, {0, 0}}}};
constexpr ChordType kAugmented{1, {{{0, 0}, {2, 0}, {4, 0}, {-1, 0}, {0, 0}}}};
constexpr ChordType kSeventh{1, {{{0, 0}, {2, 0}, {4, -1}, {6, -2}, {-1, 0}}}};
constexpr std::array<ChordType, 7> kShapes{
    harmony::kMajorTriad, harmony::kMinorTriad, harmony::kDiminishedTriad,
    kFlatFifthMajor,      kAugmented,           kSeventh,
    harmony::kEndRow};

std::set<int> ClassesOf(const Chord& chord) {
  std::set<int> classes;
  for (const harmony::SpelledNote tone : harmony::ChordTones(chord)) {
    classes.insert(harmony::PitchClass(tone));
  }
  return classes;
}

// Every chord of the degrees of every key with a tonic of at most one sharp
// or flat (the 32 keys the progression visits among them), and each of
// their roots with every shape, the empty chord among them.
std::vector<Chord> Sweep() {
  std::vector<harmony::Key> keys;
  for (const char letter : std::string_view("CDEFGAB")) {
    for (int accidental = -1; accidental <= 1; ++accidental) {
      keys.push_back({{letter, accidental}, harmony::kMajor});
      keys.push_back({{letter, accidental}, harmony::kMinor});
    }
  }
  std::vector<Chord> chords;
  for (const harmony::Key key : keys) {
    for (harmony::ScaleDegree degree = 1; degree <= 7; ++degree) {
      const Chord onDegree = harmony::BuildChordOnDegree(key, degree);
      chords.push_back(onDegree);
      for (const ChordType& shape : kShapes) {
        chords.push_back({onDegree.root, shape});
      }
    }
  }
  chords.push_back({{' ', 0}, harmony::kEndRow});
  return chords;
}

TEST(Voicer, EveryModeSoundsExactlyTheChordsPitchClassesInItsRanges) {
  const std::vector<Chord> chords = Sweep();
  for (const auto& [mode, range] : {std::pair{VoicingMode::kFull, kDefaultRegister},
                                    {VoicingMode::kClose, kDefaultRegister},
                                    {VoicingMode::kOpen, kDefaultRegister},
                                    {VoicingMode::kBassTriad, kDefaultRegister},
                                    {VoicingMode::kClose, NoteRange{60, 72}},
                                    {VoicingMode::kOpen, NoteRange{60, 72}},
                                    {VoicingMode::kBassTriad, NoteRange{60, 72}}}) {
    SCOPED_TRACE(std::string(VoicingModeName(mode)) + " in " + std::to_string(range.low) + "-" +
                 std::to_string(range.high));
    Voicer voicer(mode, range);
    for (const Chord& chord : chords) {
      const VoicedChord voiced = voicer.Voice(chord);
      std::set<int> sounding;
      int lowestUpper = 128;
      int bass = -1;
      for (const VoicedChord::Note& note : voiced) {
        sounding.insert(note.key % 12);
        if (note.bass) {
          bass = note.key;
        } else {
          lowestUpper = std::min(lowestUpper, note.key);
          if (mode != VoicingMode::kFull) {
            EXPECT_GE(note.key, range.low);
            EXPECT_LE(note.key, range.high);
          }
        }
      }
      EXPECT_EQ(sounding, ClassesOf(chord)) << harmony::PitchClass(chord.root);
      ASSERT_GE(bass, 0);
      EXPECT_EQ(bass % 12, harmony::PitchClass(chord.root));
      EXPECT_LT(bass, lowestUpper);
      if (mode != VoicingMode::kFull) {
        EXPECT_GE(bass, kBassRange.low);
        EXPECT_LE(bass, kBassRange.high);
      }
    }
  }
}

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

// The least movement any close position of `chord` in the register makes
// from `from`: every choice of lowest tone, at every octave.
int LeastMovement(const std::vector<int>& from, const Chord& chord) {
  const std::set<int> classes = ClassesOf(chord);
  int least = std::numeric_limits<int>::max();
  for (int bottom = kDefaultRegister.low; bottom <= kDefaultRegister.high; ++bottom) {
    if (classes.count(bottom % 12) == 0) {
      continue;
    }
    std::vector<int> keys;
    for (int key = bottom; key < bottom + 12; ++key) {
      if (classes.count(key % 12) != 0) {
        keys.push_back(key);
      }
    }
    if (keys.back() <= kDefaultRegister.high) {
      least = std::min(least, VoiceMovement(from.data(), from.size(), keys.data(), keys.size()));
    }
  }
  return least;
}

TEST(Voicer, CloseMovesAsLittleAsAnyInversionAndStartsInRootPosition) {
  const std::vector<Chord> chords = Sweep();
  std::mt19937 random(12);
  std::uniform_int_distribution<std::size_t> pick(0, chords.size() - 2);  // not the empty chord
  for (int pair = 0; pair < 200; ++pair) {
    const Chord& first = chords[pick(random)];
    const Chord& second = chords[pick(random)];
    Voicer voicer(VoicingMode::kClose, kDefaultRegister);
    const std::vector<int> from = Upper(voicer.Voice(first));
    EXPECT_EQ(from.front() % 12, harmony::PitchClass(first.root)) << "root position";
    const std::vector<int> to = Upper(voicer.Voice(second));
    EXPECT_EQ(VoiceMovement(from.data(), from.size(), to.data(), to.size()),
              LeastMovement(from, second))
        << pair;
  }
}

TEST(MidiPortVoicing, ChannelsVelocityAndNoteOffsOfTheLedModes) {
  const auto log = std::make_shared<MidiLog>();
  MidiPort port(std::make_unique<RecordingBackend>(std::vector<RecordedDevice>{{"Synth"}}, log));
  const Timestamp at{};
  ASSERT_TRUE(port.OpenDevice(0, at));
  port.SetVoicing({VoicingMode::kBassTriad, {60, 79}, 3, 2, 100});
  log->Clear();
  const Chord cMajor{{'C', 0}, harmony::kMajorTriad};
  const Chord gMajor{{'G', 0}, harmony::kMajorTriad};
  port.PlayChord(cMajor, at);
  port.PlayChord(gMajor, at);
  port.AllNotesOff(at);
  using M = MidiMessage;
  EXPECT_THAT(
      log->Messages(),
      ::testing::ElementsAre(M::NoteOn(3, 67, 100), M::NoteOn(3, 64, 100), M::NoteOn(3, 60, 100),
                             M::NoteOn(2, 48, 100),  // C major, bass on its own channel
                             M::NoteOff(3, 67), M::NoteOff(3, 64), M::NoteOff(3, 60),
                             M::NoteOff(2, 48), M::NoteOn(3, 74, 100), M::NoteOn(3, 71, 100),
                             M::NoteOn(3, 67, 100), M::NoteOn(2, 43, 100),  // G major
                             M::NoteOff(3, 74), M::NoteOff(3, 71), M::NoteOff(3, 67),
                             M::NoteOff(2, 43), M::AllNotesOff(3), M::AllNotesOff(2)));
}

// A voicing changed while a chord sounds takes over at the next chord, which
// first ends the old chord where it sounds: on its own channels, by note-offs
// where it was led, by all notes off where it was the three-octave layout.
TEST(MidiPortVoicing, AChangeEndsTheLastChordOnItsOwnChannels) {
  using M = MidiMessage;
  const Chord cMajor{{'C', 0}, harmony::kMajorTriad};
  const Chord gMajor{{'G', 0}, harmony::kMajorTriad};
  const VoicingSettings full;
  const VoicingSettings ledOnFour{VoicingMode::kBassTriad, {60, 79}, 4, 0, 64};
  const struct {
    VoicingSettings from;
    VoicingSettings to;
    std::vector<M> between;  // what goes out before the G major's notes
  } cases[] = {
      {full, ledOnFour, {M::AllNotesOff(1)}},
      {ledOnFour,
       full,
       {M::NoteOff(4, 67), M::NoteOff(4, 64), M::NoteOff(4, 60), M::NoteOff(4, 48),
        M::AllNotesOff(1)}},
  };
  for (const auto& c : cases) {
    const auto log = std::make_shared<MidiLog>();
    MidiPort port(std::make_unique<RecordingBackend>(std::vector<RecordedDevice>{{"Synth"}}, log));
    const Timestamp at{};
    ASSERT_TRUE(port.OpenDevice(0, at));
    port.SetVoicing(c.from);
    port.PlayChord(cMajor, at);
    port.SetVoicing(c.to);
    log->Clear();
    port.PlayChord(gMajor, at);
    std::vector<M> sent = log->Messages();
    const auto firstNote =
        std::find_if(sent.begin(), sent.end(), [](const M& m) { return m.IsNoteOn(); });
    sent.erase(firstNote, sent.end());
    EXPECT_EQ(sent, c.between);
  }
}

}  // namespace
}  // namespace sonavela::midi
