// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/port/pattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "harmony/chord.h"
#include "harmony/note.h"
#include "midi/port/midi_port.h"
#include "support/recording_backend.h"

namespace sonavela::midi {
namespace {

using std::chrono::milliseconds;

constexpr Timestamp kStart{std::chrono::seconds(10)};
constexpr milliseconds kChord{2000};

struct Played {
  std::vector<MidiMessage> messages;
  std::vector<Timestamp> times;
};

// C major, then F major, each 2 s of four beats, then a stop, as a session
// drives the port: the pattern's notes are asked for up to each next event.
Played PlayTwoChords(const VoicingSettings& voicing) {
  auto log = std::make_shared<MidiLog>();
  MidiPort port(std::make_unique<RecordingBackend>(std::vector<RecordedDevice>{{"Synth"}}, log));
  EXPECT_TRUE(port.OpenDevice(0, kStart));
  port.SetVoicing(voicing);
  port.SetBeat({5e8, 4});
  log->Clear();
  const harmony::Key c{{'C', 0}, harmony::kMajor};
  port.PlayChord(harmony::BuildChordOnDegree(c, 1), kStart);
  port.SendDue(kStart + kChord);
  port.PlayChord(harmony::BuildChordOnDegree(c, 4), kStart + kChord);
  port.SendDue(kStart + 2 * kChord);
  port.AllNotesOff(kStart + 2 * kChord);
  EXPECT_FALSE(port.NextDue()) << "nothing is left to play after a stop";
  return {log->Messages(), log->Times()};
}

TEST(ChordPattern, EachPatternPlacesItsNotesAndEndsEveryOne) {
  const struct {
    ChordPattern pattern;
    // Where a chord's note-ons fall, in ms from the chord's start.
    std::set<long> onsAt;
    bool ascendingOnsets;  // each new note above the one before (a chord's first strike)
  } cases[] = {
      {ChordPattern::kBlock, {0}, false},
      {ChordPattern::kPulse, {0, 500, 1000, 1500}, false},
      {ChordPattern::kArpeggioUp,
       {0, 125, 250, 375, 500, 625, 750, 875, 1000, 1125, 1250, 1375, 1500, 1625, 1750, 1875},
       false},
      {ChordPattern::kArpeggioDown,
       {0, 125, 250, 375, 500, 625, 750, 875, 1000, 1125, 1250, 1375, 1500, 1625, 1750, 1875},
       false},
      {ChordPattern::kStrum, {}, true},
  };
  for (const VoicingMode mode : {VoicingMode::kFull, VoicingMode::kClose}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(ChordPatternName(c.pattern)) + " " +
                   std::string(VoicingModeName(mode)));
      VoicingSettings voicing;
      voicing.mode = mode;
      voicing.pattern = c.pattern;
      voicing.bassChannel = 2;
      const Played played = PlayTwoChords(voicing);

      std::map<std::pair<int, int>, bool> sounding;  // (status channel, key)
      std::map<int, std::set<long>> onsAt;           // chord -> offsets
      std::map<int, std::vector<int>> upperOns;      // chord -> upper keys in order
      const std::set<int> classes[2] = {{0, 4, 7}, {5, 9, 0}};
      for (std::size_t i = 0; i < played.messages.size(); ++i) {
        const MidiMessage& m = played.messages[i];
        if (i > 0) {
          ASSERT_GE(played.times[i], played.times[i - 1]) << "in time order";
        }
        const int channel = m.Channel();
        const long ms = std::chrono::duration_cast<milliseconds>(played.times[i] - kStart).count();
        const int chord = ms >= kChord.count() ? 1 : 0;
        if (m.IsNoteOn()) {
          const std::pair<int, int> note{channel, m.Data1()};
          ASSERT_FALSE(sounding[note]) << "struck again while sounding: " << ms;
          sounding[note] = true;
          onsAt[chord].insert(ms - chord * kChord.count());
          EXPECT_TRUE(classes[chord].count(m.Data1() % 12)) << m.Data1();
          if (channel == 1) {
            upperOns[chord].push_back(m.Data1());
          }
        } else if (m.IsNoteOff()) {
          sounding[{channel, m.Data1()}] = false;
        } else if (m.IsAllNotesOff()) {
          for (auto& [note, on] : sounding) {
            on = note.first == channel ? false : on;
          }
        }
      }
      for (const auto& [note, on] : sounding) {
        EXPECT_FALSE(on) << "left sounding: " << note.second;
      }
      for (const int chord : {0, 1}) {
        if (c.ascendingOnsets) {
          EXPECT_GT(onsAt[chord].size(), 3u);
          EXPECT_LE(*onsAt[chord].rbegin(), kChord.count() / 4);
        } else {
          EXPECT_EQ(onsAt[chord], c.onsAt);
        }
        const std::vector<int>& ons = upperOns[chord];
        std::set<int> struck;
        for (const int key : ons) {
          struck.insert(key % 12);
        }
        EXPECT_EQ(struck, classes[chord]) << "every tone is heard";
        if (c.pattern == ChordPattern::kArpeggioUp || c.pattern == ChordPattern::kArpeggioDown) {
          const bool up = c.pattern == ChordPattern::kArpeggioUp;
          ASSERT_GT(ons.size(), 2u);
          EXPECT_EQ(ons[1] > ons[0], up) << ons[0] << " " << ons[1];
        }
      }
    }
  }
}

TEST(ChordPattern, HumanizeDelaysNotesWithinItsBoundTheSameWayEveryTime) {
  for (const ChordPattern pattern : {ChordPattern::kBlock, ChordPattern::kPulse}) {
    SCOPED_TRACE(std::string(ChordPatternName(pattern)));
    VoicingSettings voicing;
    voicing.pattern = pattern;
    voicing.humanizeMs = 20;
    const Played first = PlayTwoChords(voicing);
    const Played again = PlayTwoChords(voicing);
    EXPECT_EQ(first.times, again.times);
    std::set<long> delays;
    for (std::size_t i = 0; i < first.messages.size(); ++i) {
      if (first.messages[i].IsNoteOn()) {
        const long us =
            std::chrono::duration_cast<std::chrono::microseconds>(first.times[i] - kStart).count() %
            500'000;
        EXPECT_LE(us, 20'000);
        delays.insert(us);
      }
    }
    EXPECT_GT(delays.size(), 10u) << "the notes are not all equally late";
  }
}

TEST(ChordPattern, ChordsWithoutLengthAndPlainBlocksPlayAtOnce) {
  EXPECT_TRUE(PatternPlayer().Plain());
  EXPECT_FALSE(PatternPlayer(ChordPattern::kBlock, 5).Plain());
  PatternPlayer player(ChordPattern::kArpeggioUp, 10);
  VoicedChord chord;
  chord.Add(64, false);
  chord.Add(60, false);
  chord.Add(48, true);
  player.Begin(chord, kStart, {0.0, 4});
  std::vector<int> keys;
  while (const std::optional<PatternNote> note = player.Take(Timestamp::max())) {
    EXPECT_EQ(note->at, kStart);
    EXPECT_TRUE(note->on);
    keys.push_back(note->note.key);
  }
  EXPECT_EQ(keys, (std::vector<int>{64, 60, 48}));
  EXPECT_FALSE(player.NextTime());
}

}  // namespace
}  // namespace sonavela::midi
