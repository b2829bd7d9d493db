// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "generator/rule_file.h"
#include "harmony/note.h"
#include "midi/port/midi_message.h"
#include "midi/port/midi_port.h"

namespace sonavela::playback {

// The messages of one chord as the program sends them, in order: at a start
// the program change and the silences before the chord, then the chord's
// all-notes-off and note-ons, all at once; and the chord's notes as voiced,
// for a player that spreads them as a pattern. Plain data, so that it can
// cross to a real-time thread by copying.
struct RenderedChord {
  // A start sends at most a program change, three silences and 24 note-ons.
  static constexpr std::size_t kCapacity = 32;

  std::array<midi::MidiMessage, kCapacity> messages{};
  std::uint32_t count = 0;
  midi::VoicedChord voiced;

  [[nodiscard]] std::span<const midi::MidiMessage> Messages() const {
    return {messages.data(), count};
  }
};

// What a start plays first: the instrument and the tonic of the home key.
struct OpeningSettings {
  harmony::Key homeKey{{'C', 0}, harmony::kMajor};
  std::int32_t instrument = 49;
  midi::VoicingSettings voicing;

  friend bool operator==(const OpeningSettings&, const OpeningSettings&) = default;
};

// What a start reads: the front end's settings at the moment it starts.
struct FeedSettings {
  std::uint32_t seed = 1;
  OpeningSettings opening;
  generator::RuleTables tables;
};

// The progression of one start rendered to messages, one chord ahead of the
// one that is asked for: the search for the chord after the upcoming one is
// done by the call that hands the upcoming one over. For players whose
// timing thread must not search (a plugin's run()); the steps, the search and
// the bytes are those of the program's own start and ticks.
class ChordFeed;

// The first chord of a start, as ChordFeed's Opening renders it, made without
// the generator and without allocating: for a timing thread that must start
// on the beat while the search of the start is still to be done elsewhere.
class OpeningRenderer {
 public:
  OpeningRenderer();
  ~OpeningRenderer();
  OpeningRenderer(const OpeningRenderer&) = delete;
  OpeningRenderer& operator=(const OpeningRenderer&) = delete;

  [[nodiscard]] const RenderedChord& Render(const OpeningSettings& settings);

 private:
  class Parts;
  std::unique_ptr<Parts> parts_;
  RenderedChord opening_;
};

class ChordFeed {
 public:
  // Starts from the tonic of the home key with a random source in the state
  // `settings.seed`, and renders the first two chords.
  explicit ChordFeed(const FeedSettings& settings);
  ~ChordFeed();
  ChordFeed(const ChordFeed&) = delete;
  ChordFeed& operator=(const ChordFeed&) = delete;

  // The chord of the start, with its program change.
  [[nodiscard]] const RenderedChord& Opening() const { return opening_; }
  // The chord after the last one handed over.
  [[nodiscard]] const RenderedChord& Upcoming() const { return upcoming_; }
  // Renders the chord after Upcoming into Upcoming, and searches on.
  void Step();

 private:
  class Parts;
  std::unique_ptr<Parts> parts_;
  RenderedChord opening_;
  RenderedChord upcoming_;
};

}  // namespace sonavela::playback
