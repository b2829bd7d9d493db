// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/chord_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace sonavela::timing {
namespace {

using namespace std::chrono_literals;

const Timestamp kT0 = Timestamp{} + 1000s;

// A grid clock whose time the test sets.
struct Grid {
  Timestamp now = kT0;
  timing::GridClock clock;
  explicit Grid(std::chrono::nanoseconds period) : clock(period, [this] { return now; }) {}
  explicit Grid(timing::Meter meter) : clock(meter, [this] { return now; }) {}

  // Plays what is due by now, as the session does; the chords' times.
  std::vector<timing::ClockEvent> Play() {
    std::vector<timing::ClockEvent> played;
    while (const std::optional<timing::ClockEvent> event = clock.Poll(now)) {
      played.push_back(*event);
      clock.ChordPlayed();
    }
    return played;
  }
};

TEST(GridClock, StartsAtOnceAndKeepsTheGridWhateverTheHandlingDelay) {
  Grid grid(50ms);
  EXPECT_TRUE(grid.Play().empty()) << "nothing before Engage";
  grid.clock.Engage(kT0);
  EXPECT_EQ(grid.Play(), (std::vector<timing::ClockEvent>{{timing::Cue::kStart, kT0}}));
  const std::chrono::nanoseconds delays[] = {0ms, 3ms, 49ms, 1us, 20ms};
  for (int k = 1; k <= 5; ++k) {
    EXPECT_EQ(grid.clock.NextWake(), kT0 + k * 50ms);
    grid.now = kT0 + k * 50ms - 1ns;
    EXPECT_TRUE(grid.Play().empty()) << "not before its time";
    grid.now = kT0 + k * 50ms + delays[k - 1];
    EXPECT_EQ(grid.Play(),
              (std::vector<timing::ClockEvent>{{timing::Cue::kChord, kT0 + k * 50ms}}));
  }
}

TEST(GridClock, NoDriftAfterManyChords) {
  Grid grid(2000ms);
  grid.clock.Engage(kT0);
  (void)grid.Play();
  for (int k = 1; k <= 10000; ++k) {
    grid.now = *grid.clock.NextChord() + 1999ms;
    (void)grid.Play();
  }
  EXPECT_EQ(grid.clock.NextChord(), kT0 + 10001 * 2000ms);
}

TEST(GridClock, AChordPlannedTooLateSkipsTheDeadlinesItOverran) {
  const struct {
    std::chrono::nanoseconds late;
    std::int64_t nextIndex;
  } cases[] = {{0ms, 1}, {99ms, 1}, {101ms, 2}, {250ms, 3}, {1000ms, 11}};
  for (const auto& c : cases) {
    Grid grid(100ms);
    grid.clock.Engage(kT0);
    ASSERT_TRUE(grid.clock.Poll(kT0));
    grid.now = kT0 + c.late;  // the search after the first chord took this long
    grid.clock.ChordPlayed();
    EXPECT_EQ(grid.clock.NextChord(), kT0 + c.nextIndex * 100ms) << c.late.count();
  }
}

TEST(GridClock, ZeroPeriodIsDueAtOnceAndDisengagingEndsIt) {
  Grid fast(0ms);
  fast.clock.Engage(kT0);
  ASSERT_TRUE(fast.clock.Poll(kT0));
  fast.now = kT0 + 7ms;
  fast.clock.ChordPlayed();
  EXPECT_EQ(fast.clock.NextChord(), kT0 + 7ms);
  EXPECT_FALSE(fast.clock.PulseAfter(kT0)) << "no beat to pulse";
  fast.clock.Disengage();
  EXPECT_FALSE(fast.clock.Poll(Timestamp::max()));
  EXPECT_EQ(fast.clock.NextWake(), Timestamp::max());
}

TEST(GridClock, PulsesAre24ABeatExactlyOverALongRun) {
  Grid grid(timing::Meter::FromTempo(90, 4));
  grid.clock.Engage(kT0);
  const timing::Meter meter = grid.clock.CurrentMeter();
  Timestamp pulse = kT0 - 1ns;
  for (int i = 0; i <= 24 * 1000; ++i) {
    pulse = *grid.clock.PulseAfter(pulse);
  }
  // 1000 beats of 2/3 s, exact to the nanosecond, not 1000 rounded beats.
  EXPECT_EQ(pulse, kT0 + 666'666'666'667ns);
  EXPECT_EQ(meter.beat, 666'666'667ns);
  EXPECT_EQ(grid.clock.NextChord(), kT0) << "the start";
}

TEST(Meter, TempoAndBeatsMakeTheChord) {
  EXPECT_EQ(timing::Meter::FromTempo(120, 4).Chord(), 2s) << "the usual period";
  EXPECT_EQ(timing::Meter::FromTempo(60, 1).Chord(), 1s);
  EXPECT_EQ(timing::Meter::FromTempo(400, 64).Chord(), 9600ms);
  EXPECT_EQ(timing::Meter::FromPeriod(100ms).beat, 25ms);
}

TEST(OfflineClock, TimePassesOnlyByWaiting) {
  timing::OfflineClock clock(500ms);
  const Timestamp start = clock.Now();
  clock.Engage(start);
  ASSERT_EQ(clock.Poll(start), (timing::ClockEvent{timing::Cue::kStart, start}));
  clock.ChordPlayed();
  EXPECT_FALSE(clock.Poll(start + 499ms));
  EXPECT_EQ(clock.NextWake(), start + 500ms);
  clock.WaitedUntil(start + 500ms);
  EXPECT_EQ(clock.Now(), start + 500ms);
  clock.WaitedUntil(start);  // never backwards
  EXPECT_EQ(clock.Now(), start + 500ms);
}

}  // namespace
}  // namespace sonavela::timing
