// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/transport_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <vector>

namespace sonavela::timing {
namespace {

using namespace std::chrono_literals;

const Timestamp kT0 = Timestamp{} + 1000s;

// A transport the test rolls, stops and moves; read at the current time.
struct FakeTransport {
  Timestamp now = kT0;
  bool rolling = false;
  bool gone = false;
  double bpm = 120;
  double pace = 1.0;      // how fast the bars really go against `bpm`
  Timestamp since = kT0;  // where `beatsThen` was
  double beatsThen = 0;

  void Roll(double fromBeats) {
    rolling = true;
    since = now;
    beatsThen = fromBeats;
  }
  void Stop() {
    beatsThen = Beats();
    since = now;
    rolling = false;
  }
  [[nodiscard]] double Beats() const {
    return rolling
               ? beatsThen + std::chrono::duration<double>(now - since).count() * bpm * pace / 60
               : beatsThen;
  }
  std::optional<timing::TransportPosition> Read() const {
    if (gone) {
      return std::nullopt;
    }
    return timing::TransportPosition{rolling, now, Beats(), bpm, true};
  }
};

struct Fixture {
  FakeTransport transport;
  timing::TransportClock clock{[this] { return transport.Read(); }, 4,
                               [this] { return transport.now; }};

  // Moves on to `until`, polling every `step` (a millisecond, as the session
  // does) for what falls within `lookahead`, and returns what came.
  std::vector<timing::ClockEvent> RunUntil(Timestamp until, std::chrono::nanoseconds step = 1ms,
                                           std::chrono::nanoseconds lookahead = 0ms) {
    std::vector<timing::ClockEvent> events;
    while (transport.now < until) {
      transport.now += step;
      while (const std::optional<timing::ClockEvent> event =
                 clock.Poll(transport.now + lookahead)) {
        events.push_back(*event);
        clock.ChordPlayed();
      }
    }
    return events;
  }
};

TEST(TransportClock, ARollFromTheStartIsAFreshStartAndChordsFollowTheBars) {
  Fixture f;
  f.clock.Engage(f.transport.now);
  EXPECT_TRUE(f.RunUntil(kT0 + 100ms).empty()) << "stopped: nothing";
  const Timestamp rolled = f.transport.now;
  f.transport.Roll(0);
  const std::vector<timing::ClockEvent> events = f.RunUntil(rolled + 4500ms);
  EXPECT_EQ(events, (std::vector<timing::ClockEvent>{{timing::Cue::kStart, rolled},
                                                     {timing::Cue::kChord, rolled + 2s},
                                                     {timing::Cue::kChord, rolled + 4s}}));
  EXPECT_EQ(f.clock.NextChord(), rolled + 6s);
  EXPECT_EQ(f.clock.CurrentMeter().Chord(), 2s);
}

// A front end busy elsewhere polls seldom, and past the boundaries: each
// chord still comes, at its own time, not the boundary after.
TEST(TransportClock, ABoundaryPassedBetweenTwoPollsIsPlayedLateNotSkipped) {
  Fixture f;
  f.clock.Engage(f.transport.now);
  f.transport.Roll(0);
  const Timestamp rolled = f.transport.now;
  EXPECT_EQ(f.RunUntil(rolled + 4100ms, 7ms),
            (std::vector<timing::ClockEvent>{{timing::Cue::kStart, rolled},
                                             {timing::Cue::kChord, rolled + 2s},
                                             {timing::Cue::kChord, rolled + 4s}}));
  f.transport.Stop();
  (void)f.RunUntil(f.transport.now + 100ms);
  const Timestamp resumed = f.transport.now;
  f.transport.Roll(10);
  EXPECT_EQ(f.RunUntil(resumed + 1100ms, 7ms),
            (std::vector<timing::ClockEvent>{{timing::Cue::kResume, resumed + 1s}}));
}

// jack_transport counts its bars a little slower than its tempo says. The
// rate measured in one roll places the first boundary of the next, which
// is sent ahead before a new measurement could be made.
TEST(TransportClock, TheRateMeasuredInARollPlacesTheFirstBoundaryOfTheNext) {
  Fixture f;
  f.transport.pace = 0.99;
  f.clock.Engage(f.transport.now);
  f.transport.Roll(0);
  (void)f.RunUntil(kT0 + 3s, 1ms, 20ms);
  f.transport.Stop();
  (void)f.RunUntil(f.transport.now + 100ms);
  const Timestamp resumed = f.transport.now;
  f.transport.Roll(10);  // the next boundary, beat 12, is two of its beats on
  const std::vector<timing::ClockEvent> events = f.RunUntil(resumed + 1100ms, 1ms, 20ms);
  ASSERT_EQ(events.size(), 1U);
  const double us = std::chrono::duration<double, std::micro>(events[0].at - resumed).count();
  EXPECT_NEAR(us, 2 / (2 * 0.99) * 1e6, 5);
}

TEST(TransportClock, StopSilencesAndRollingOnLaterResumesAtTheNextBoundary) {
  Fixture f;
  f.clock.Engage(f.transport.now);
  f.transport.Roll(0);
  (void)f.RunUntil(kT0 + 3s);
  f.transport.Stop();
  const Timestamp stopped = f.transport.now;
  EXPECT_EQ(f.RunUntil(stopped + 1s),
            (std::vector<timing::ClockEvent>{{timing::Cue::kStop, stopped + 1ms}}));
  // Relocated to beat 10 and rolling: the next boundary is beat 12, 1 s on.
  f.transport.beatsThen = 10;
  const Timestamp rolled = f.transport.now;
  f.transport.Roll(10);
  EXPECT_EQ(f.RunUntil(rolled + 1500ms),
            (std::vector<timing::ClockEvent>{{timing::Cue::kResume, rolled + 1s}}));
}

TEST(TransportClock, ARelocationWhileRollingGoesOnAtTheNewBoundaries) {
  Fixture f;
  f.clock.Engage(f.transport.now);
  f.transport.Roll(0);
  (void)f.RunUntil(kT0 + 2500ms);  // start, and the chord at 2 s
  const Timestamp jumped = f.transport.now;
  f.transport.Roll(41);  // to bar 11 beat 2: the next boundary is beat 44
  EXPECT_EQ(f.RunUntil(jumped + 1600ms),
            (std::vector<timing::ClockEvent>{{timing::Cue::kChord, jumped + 1500ms}}));
}

TEST(TransportClock, ATempoChangeMovesTheNextBoundary) {
  Fixture f;
  f.clock.Engage(f.transport.now);
  f.transport.Roll(0);
  (void)f.RunUntil(kT0 + 1s);  // beat 2 at 120 BPM
  f.transport.beatsThen = f.transport.Beats();
  f.transport.since = f.transport.now;
  f.transport.bpm = 60;  // two beats to the boundary now take 2 s
  const Timestamp changed = f.transport.now;
  EXPECT_EQ(f.RunUntil(changed + 2500ms),
            (std::vector<timing::ClockEvent>{{timing::Cue::kChord, changed + 2s}}));
}

TEST(TransportClock, AServerThatGoesIsToldOnceAndStops) {
  Fixture f;
  f.clock.Engage(f.transport.now);
  f.transport.Roll(0);
  (void)f.RunUntil(kT0 + 500ms);
  f.transport.gone = true;
  const std::vector<timing::ClockEvent> events = f.RunUntil(kT0 + 600ms);
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].cue, timing::Cue::kStop);
  EXPECT_TRUE(f.clock.TakeNotice());
  EXPECT_FALSE(f.clock.TakeNotice());
}

TEST(TransportClock, JoiningARollingTransportWaitsForItsNextBoundaryAndPulsesFollowTheBeat) {
  Fixture f;
  f.transport.Roll(5);
  f.clock.Engage(f.transport.now);
  EXPECT_EQ(f.RunUntil(kT0 + 2s),
            (std::vector<timing::ClockEvent>{{timing::Cue::kResume, kT0 + 1500ms}}));
  const Timestamp pulse = *f.clock.PulseAfter(kT0 + 1500ms);
  EXPECT_EQ(pulse - (kT0 + 1500ms), std::chrono::nanoseconds(std::llround(0.5e9 / 24)));
}

}  // namespace
}  // namespace sonavela::timing
