// SPDX-License-Identifier: GPL-3.0-or-later
// When the plugin plays, in the tests' lilv host: chords on the host's
// beats at any cycle length, the notes of patterns on them, every note ended
// by its own note-off, the bytes of a start, and a worker that falls behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "lv2_host.h"
#include "plugin_test_support.h"

namespace sonavela::plugin::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const Notes kCMajorTonic{96, 91, 88, 84, 79, 76, 72, 67, 64, 60, 48};
const Notes kAMinorTonic{96, 93, 88, 84, 81, 76, 72, 69, 64, 57, 45};

enum class Kind { kFresh, kNext, kStop };
struct Expected {
  std::int64_t frame;
  Kind kind;
  int chord;  // of DefaultProgression
};
struct TimingCase {
  const char* name;
  std::vector<std::pair<std::int64_t, Position>> positions;
  std::int64_t end;
  std::vector<Expected> expected;
};

void PrintTo(const TimingCase& c, std::ostream* out) {
  *out << c.name;
}

// At 120 BPM a chord of 4 beats is 96000 frames.
const std::vector<TimingCase> kTimingCases{
    {"NoHostTime",
     {},
     300000,
     {{0, Kind::kFresh, 0},
      {96000, Kind::kNext, 1},
      {192000, Kind::kNext, 2},
      {288000, Kind::kNext, 3}}},
    {"RollFromBar1",
     {{0, kBar1}},
     300000,
     {{0, Kind::kFresh, 0},
      {96000, Kind::kNext, 1},
      {192000, Kind::kNext, 2},
      {288000, Kind::kNext, 3}}},
    // 104727.27 frames a chord: each on the first frame at or after its beat.
    {"At110Bpm",
     {{0, {0, 0.0, 110.0, 1.0}}},
     320000,
     {{0, Kind::kFresh, 0},
      {104728, Kind::kNext, 1},
      {209455, Kind::kNext, 2},
      {314182, Kind::kNext, 3}}},
    {"RollFromBar3Beat4",
     {{0, {2, 3.0, 120.0, 1.0}}},
     230000,
     {{24000, Kind::kFresh, 0}, {120000, Kind::kNext, 1}, {216000, Kind::kNext, 2}}},
    // At beat 5 to 90 BPM: beat 8 comes 3 x 32000 frames later.
    {"TempoChange",
     {{0, kBar1}, {120000, {1, 1.0, 90.0, 1.0}}},
     350000,
     {{0, Kind::kFresh, 0},
      {96000, Kind::kNext, 1},
      {216000, Kind::kNext, 2},
      {344000, Kind::kNext, 3}}},
    {"RelocateAhead",
     {{0, kBar1}, {50000, {5, 2.0, 120.0, 1.0}}},
     300000,
     {{0, Kind::kFresh, 0},
      {98000, Kind::kNext, 1},
      {194000, Kind::kNext, 2},
      {290000, Kind::kNext, 3}}},
    {"RelocateOntoABoundary",
     {{0, kBar1}, {150000, {8, 0.0, 120.0, 1.0}}},
     300000,
     {{0, Kind::kFresh, 0},
      {96000, Kind::kNext, 1},
      {150000, Kind::kNext, 2},
      {246000, Kind::kNext, 3}}},
    {"RelocateToBar1",
     {{0, kBar1}, {150000, kBar1}},
     300000,
     {{0, Kind::kFresh, 0},
      {96000, Kind::kNext, 1},
      {150000, Kind::kFresh, 0},
      {246000, Kind::kNext, 1}}},
    {"Stop",
     {{0, kBar1}, {150000, {1, 2.25, 120.0, 0.0}}},
     400000,
     {{0, Kind::kFresh, 0}, {96000, Kind::kNext, 1}, {150000, Kind::kStop, 0}}},
    // Restated every 4096 frames as Ardour states it, the beat rounded to a
    // 1/1920 tick: the chords stay where the frames and the tempo put them.
    {"RestatedRoundedToTicks",
     [] {
       std::vector<std::pair<std::int64_t, Position>> positions;
       for (std::int64_t frame = 0; frame < 320000; frame += 4096) {
         const double beat =
             std::round(static_cast<double>(frame) * 110.0 / 60.0 / 48000.0 * 1920.0) / 1920.0;
         const auto bar = static_cast<std::int64_t>(beat / 4.0);
         positions.push_back({frame, {bar, beat - 4.0 * static_cast<double>(bar), 110.0, 1.0}});
       }
       return positions;
     }(),
     320000,
     {{0, Kind::kFresh, 0},
      {104728, Kind::kNext, 1},
      {209455, Kind::kNext, 2},
      {314182, Kind::kNext, 3}}},
    {"StopAndRollOn",
     {{0, kBar1}, {150000, {1, 2.25, 120.0, 0.0}}, {200000, {1, 2.25, 120.0, 1.0}}},
     350000,
     {{0, Kind::kFresh, 0},
      {96000, Kind::kNext, 1},
      {150000, Kind::kStop, 0},
      {242000, Kind::kNext, 2},
      {338000, Kind::kNext, 3}}},
    {"StopRewindRoll",
     {{0, kBar1}, {150000, {1, 2.25, 120.0, 0.0}}, {160000, kStoppedAtBar1}, {200000, kBar1}},
     350000,
     {{0, Kind::kFresh, 0},
      {96000, Kind::kNext, 1},
      {150000, Kind::kStop, 0},
      {200000, Kind::kFresh, 0},
      {296000, Kind::kNext, 1}}},
};

class TimingTest : public ::testing::TestWithParam<std::tuple<TimingCase, std::uint32_t>> {};

TEST_P(TimingTest, ChordsFallOnTheHostsBeats) {
  const auto& [c, block] = GetParam();
  const std::vector<Notes>& chords = DefaultProgression();
  ASSERT_GE(chords.size(), 4u);
  Lv2Host host;
  for (const auto& [frame, position] : c.positions) {
    host.SendPosition(frame, position);
  }
  host.RunUntil(c.end, block);
  std::vector<Group> expected;
  for (const Expected& e : c.expected) {
    const Notes& notes = chords[static_cast<std::size_t>(e.chord)];
    expected.push_back({e.frame, e.kind == Kind::kFresh  ? FreshStart(49, notes)
                                 : e.kind == Kind::kNext ? NextChord(notes)
                                                         : std::vector<Bytes>{kSilence}});
  }
  EXPECT_THAT(Groups(host), ::testing::ElementsAreArray(expected));
  EXPECT_THAT(host.Log(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Plugin, TimingTest,
                         ::testing::Combine(::testing::ValuesIn(kTimingCases),
                                            ::testing::Values(64u, 256u, 1023u)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::to_string(std::get<1>(info.param));
                         });

TEST(PluginBytes, AStartFollowsTheControls) {
  struct Case {
    float minor;
    float instrument;
    Notes notes;
  };
  for (const Case& c :
       {Case{0, 49, kCMajorTonic}, Case{1, 1, kAMinorTonic}, Case{0, 128, kCMajorTonic}}) {
    SCOPED_TRACE(::testing::Message() << "minor " << c.minor << " instrument " << c.instrument);
    Lv2Host host;
    host.SetControl(Control::kMinor, c.minor);
    host.SetControl(Control::kInstrument, c.instrument);
    RollAt(host, 4096);
    host.RunUntil(8192, 1024);
    // The stop at frame 0 ends the roll a host without time would have had,
    // before anything sounded: nothing to silence.
    EXPECT_THAT(Groups(host),
                ElementsAre(Group{4096, FreshStart(static_cast<int>(c.instrument), c.notes)}));
    EXPECT_THAT(host.Log(), IsEmpty());
  }
}

// Without a transport the plugin starts at frame 0 of its first cycle, which
// is also the first time it can read its controls.
TEST(PluginBytes, WithoutHostTimeTheFirstCycleStartsWhateverTheControls) {
  Lv2Host host;
  host.SetControl(Control::kSeed, 7);
  host.SetControl(Control::kMinor, 1);
  host.SetControl(Control::kInstrument, 20);
  host.RunUntil(4096, 1024);
  EXPECT_THAT(Groups(host), ElementsAre(Group{0, FreshStart(20, kAMinorTonic)}));
  EXPECT_THAT(host.Log(), IsEmpty());
}

TEST(PluginBytes, AnInstrumentTakesEffectAtTheNextStartFromBar1) {
  const std::vector<Notes>& chords = DefaultProgression();
  ASSERT_GE(chords.size(), 2u);
  Lv2Host host;
  host.SendPosition(0, kBar1);
  host.RunUntil(50000, 256);
  host.SetControl(Control::kInstrument, 20);
  host.SendPosition(150000, kBar1);
  host.RunUntil(160000, 256);
  EXPECT_THAT(Groups(host),
              ElementsAre(Group{0, FreshStart(49, chords[0])}, Group{96000, NextChord(chords[1])},
                          Group{150000, FreshStart(20, chords[0])}));
}

TEST(PluginWorker, AChordThatIsLateComesRightAfterTheWorker) {
  constexpr std::uint32_t kBlock = 64;
  constexpr int kDelay = 500;  // 32000 frames: more than a chord of 24000
  const std::vector<Notes>& chords = DefaultProgression();
  ASSERT_GE(chords.size(), 6u);
  Lv2Host host;
  host.SetControl(Control::kBeatsPerChord, 1);
  host.RunUntil(kChordOfOneBeat / 2, kBlock);
  // Only what is asked for during the next chord is slow.
  host.SetWorkerDelay(kDelay);
  host.RunUntil(kChordOfOneBeat * 3 / 2, kBlock);
  host.SetWorkerDelay(0);
  host.RunUntil(6 * kChordOfOneBeat - kBlock, kBlock);

  const std::vector<Group> groups = Groups(host);
  ASSERT_EQ(groups.size(), 6u);
  int late = 0;
  for (std::size_t k = 0; k < groups.size(); ++k) {
    SCOPED_TRACE(groups[k]);
    const std::int64_t boundary = static_cast<std::int64_t>(k) * kChordOfOneBeat;
    EXPECT_EQ(groups[k].messages, k == 0 ? FreshStart(49, chords[0]) : NextChord(chords[k]));
    if (groups[k].frame == boundary) {
      continue;
    }
    ++late;
    EXPECT_GT(groups[k].frame, boundary);
    EXPECT_LT(groups[k].frame, boundary + kChordOfOneBeat);
    EXPECT_EQ(groups[k].frame % kBlock, 0);
    EXPECT_THAT(host.ResponseFrames(), ::testing::Contains(groups[k].frame));
  }
  EXPECT_EQ(late, 1);
  EXPECT_THAT(host.Log(), ElementsAre(AllOf(Field(&LogRecord::type, "Warning"),
                                            Field(&LogRecord::text, HasSubstr("late")))));
}

TEST(PluginNotes, PatternsPlaceTheirNotesOnTheHostsBeats) {
  // A frame whose time in nanoseconds rounds up (4097 x 20833.33 ns).
  constexpr std::int64_t kRoll = 4097;
  constexpr std::int64_t kTwoChords = 8 * kChordOfOneBeat;
  const struct {
    float pattern;
    float humanize;
    std::int64_t step;
  } cases[] = {{4, 0, kChordOfOneBeat}, {1, 0, kChordOfOneBeat / 4}, {4, 20, kChordOfOneBeat}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "pattern " << c.pattern << " humanize " << c.humanize);
    Lv2Host host;
    host.SetControl(Control::kPattern, c.pattern);
    host.SetControl(Control::kHumanize, c.humanize);
    RollAt(host, kRoll);
    host.RunUntil(kRoll + kTwoChords, 256);
    std::set<std::int64_t> onsets;
    for (const MidiRecord& m : host.Midi()) {
      if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0 &&
          m.frame < kRoll + kTwoChords) {
        onsets.insert(m.frame - kRoll);
      }
    }
    if (c.humanize == 0) {
      std::set<std::int64_t> grid;
      for (std::int64_t at = 0; at < kTwoChords; at += c.step) {
        grid.insert(at);
      }
      EXPECT_EQ(onsets, grid);
    } else {
      EXPECT_GT(onsets.size(), 16u) << "the notes of a strike are not all at once";
      for (const std::int64_t at : onsets) {
        EXPECT_LE(at % c.step, 20 * 48) << at;  // at most 20 ms late at 48 kHz
      }
    }
    EXPECT_THAT(host.Log(), IsEmpty());
  }
}

// Recorded by a DAW, a take plays back as heard only when every note ends by
// a note-off of its own: an all-notes-off is no note end to a recorder. That
// holds across a change of voicing and channel while the progression plays.
TEST(PluginNotes, EndByTheirOwnNoteOffs) {
  constexpr std::int64_t kRoll = 4096;
  constexpr std::int64_t kStop = kRoll + 10 * kChordOfOneBeat + 5000;
  for (const float voicing : {0.0F, 1.0F, 2.0F, 3.0F}) {
    for (const float pattern : {0.0F, 1.0F, 4.0F}) {
      SCOPED_TRACE(::testing::Message() << "voicing " << voicing << " pattern " << pattern);
      Lv2Host host;
      host.SetControl(Control::kVoicing, voicing);
      host.SetControl(Control::kPattern, pattern);
      host.SetControl(Control::kBeatsPerChord, 1);
      RollAt(host, kRoll);
      host.SendPosition(kStop, {2, 2.5, 120.0, 0.0});
      // Another voicing on another channel, from the next chord on.
      host.RunUntil(kRoll + 5 * kChordOfOneBeat + 1000, 512);
      host.SetControl(Control::kVoicing, std::fmod(voicing + 1.0F, 4.0F));
      host.SetControl(Control::kChannel, 5);
      host.RunUntil(kStop + 4096, 512);
      std::set<std::pair<int, int>> sounding;
      int notes = 0;
      for (const MidiRecord& m : host.Midi()) {
        if (m.bytes.size() != 3) {
          continue;
        }
        const std::pair<int, int> key{m.bytes[0] & 0x0F, m.bytes[1]};
        const int kind = m.bytes[0] & 0xF0;
        if (kind == 0x90 && m.bytes[2] > 0) {
          EXPECT_TRUE(sounding.insert(key).second) << "struck again at " << m.frame;
          ++notes;
        } else if (kind == 0x80 || kind == 0x90) {
          EXPECT_EQ(sounding.erase(key), 1U) << "ends no note at " << m.frame;
        } else if (kind == 0xB0 && m.bytes[1] == 0x7B) {
          EXPECT_THAT(sounding, IsEmpty()) << "left to the all-notes-off at " << m.frame;
        }
      }
      EXPECT_GE(notes, 10);
      EXPECT_THAT(sounding, IsEmpty());
    }
  }
}

}  // namespace
}  // namespace sonavela::plugin::testing
