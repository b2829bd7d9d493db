// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/chord_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "support/recording_backend.h"

namespace sonavela::playback {
namespace {

using namespace std::chrono_literals;
using midi::MidiMessage;

const Timestamp kT0 = Timestamp{} + 100s;
constexpr MidiMessage kOff = MidiMessage::AllNotesOff(1);

// One chord as the session plays it: it begins, its note sounds, and the
// clock says when the next is due.
struct Chord {
  std::chrono::nanoseconds start;  // on the clock, from kT0
  std::chrono::nanoseconds nextDue;
  int key;
};

struct Case {
  const char* name;
  std::chrono::nanoseconds clockChord;
  std::vector<Chord> chords;
  std::chrono::nanoseconds stop;                      // on the clock, from kT0
  std::vector<std::chrono::milliseconds> fileStarts;  // of each chord in the file
  std::chrono::milliseconds fileStop;
};

// The chords are bars of the file, whenever they were played; a stop lands
// as far into its bar as it came into its chord, and fills the bar when the
// next chord was already due.
TEST(ChordRecorder, ChordsAreBarsAndAStopLandsWithinItsBar) {
  const Case cases[] = {
      {"on time, stopped mid chord",
       2s,
       {{0s, 2s, 60}, {2s, 4s, 62}},
       2700ms,
       {0ms, 2000ms},
       2700ms},
      {"a late chord keeps its bar",
       2s,
       {{0s, 2s, 60}, {2300ms, 4s, 62}},
       3s,
       {0ms, 2000ms},
       2700ms},
      {"stopped when the next was due",
       2s,
       {{0s, 2s, 60}, {2s, 4s, 62}},
       4500ms,
       {0ms, 2000ms},
       4000ms},
      {"as fast as possible", 0s, {{0s, 1ms, 60}, {1ms, 2ms, 62}}, 2ms, {0ms, 2000ms}, 4000ms},
      {"longer than a bar can be", 100s, {{0s, 100s, 60}}, 50s, {0ms}, 1000ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChordRecorder recorder(nullptr);
    recorder.Restart(timing::Meter::FromPeriod(c.clockChord));
    for (const Chord& chord : c.chords) {
      recorder.BeginChord(kT0 + chord.start);
      ASSERT_TRUE(recorder.Send(kOff, kT0 + chord.start));
      ASSERT_TRUE(recorder.Send(MidiMessage::NoteOn(1, chord.key, 64), kT0 + chord.start));
      recorder.SetNextChordDue(kT0 + chord.nextDue);
    }
    ASSERT_TRUE(recorder.Send(kOff, kT0 + c.stop));

    midi::MidiFileOptions options;
    options.beat = FileBeat(timing::Meter::FromPeriod(c.clockChord).beat);
    midi::MidiFileRecording expected(options);
    for (std::size_t i = 0; i < c.chords.size(); ++i) {
      expected.SetTime(c.fileStarts[i]);
      expected.AddMessage(kOff);
      expected.AddMessage(MidiMessage::NoteOn(1, c.chords[i].key, 64));
    }
    expected.SetTime(c.fileStop);
    expected.AddMessage(kOff);
    EXPECT_EQ(recorder.Encode(false), expected.Encode(c.fileStop));
    EXPECT_EQ(recorder.End(false), c.fileStop);
  }
}

TEST(ChordRecorder, PassesEverythingOnToTheDeviceAndRecordsWithoutOne) {
  auto log = std::make_shared<midi::MidiLog>();
  ChordRecorder recorder(midi::RecordingBackend::WithDevices(2, log));
  EXPECT_EQ(recorder.DeviceCount(), 2U);
  recorder.Restart(timing::Meter::FromPeriod(2s));
  recorder.BeginChord(kT0);
  ASSERT_TRUE(recorder.Send(kOff, kT0));  // nothing open: recorded all the same
  ASSERT_TRUE(recorder.Open(1));
  ASSERT_TRUE(recorder.Send(MidiMessage::NoteOn(1, 60, 64), kT0));
  EXPECT_EQ(log->MessagesTo(1), std::vector<MidiMessage>{MidiMessage::NoteOn(1, 60, 64)});
  EXPECT_EQ(log->sendsWhileClosed, 1U);
  EXPECT_FALSE(recorder.Empty());
  EXPECT_EQ(recorder.End(true), 2000ms) << "a playing chord ends where its bar ends";

  ChordRecorder fileOnly(nullptr);
  EXPECT_EQ(fileOnly.DeviceCount(), 0U);
  EXPECT_FALSE(fileOnly.Open(0));
  EXPECT_TRUE(fileOnly.Send(kOff, kT0));
}

}  // namespace
}  // namespace sonavela::playback
