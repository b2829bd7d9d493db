#include "playback/chord_clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace sonavela::playback {
namespace {

using namespace std::chrono_literals;

const Timestamp kT0 = Timestamp{} + 1000s;

// A grid clock whose time the test sets.
struct Grid {
  Timestamp now = kT0;
  GridClock clock;
  explicit Grid(std::chrono::nanoseconds period) : clock(period, [this] { return now; }) {}
};

TEST(GridClock, ChordsStayOnTheGridWhateverTheHandlingDelay) {
  Grid grid(50ms);
  EXPECT_EQ(grid.clock.Start(), kT0);
  const std::chrono::nanoseconds delays[] = {0ms, 3ms, 49ms, 1us, 20ms, 50ms};
  for (int k = 1; k <= 6; ++k) {
    EXPECT_EQ(grid.clock.Next(), kT0 + k * 50ms) << k;
    grid.now = kT0 + k * 50ms + delays[k - 1];
  }
}

TEST(GridClock, NoDriftAfterManyChords) {
  Grid grid(2000ms);
  grid.clock.Start();
  Timestamp due{};
  for (int k = 0; k < 10000; ++k) {
    due = grid.clock.Next();
    grid.now = due + 1999ms;
  }
  EXPECT_EQ(due, kT0 + 10000 * 2000ms);
}

TEST(GridClock, AChordPlannedTooLateSkipsTheDeadlinesItOverran) {
  const struct {
    std::chrono::nanoseconds late;
    std::int64_t nextIndex;
  } cases[] = {{0ms, 1}, {99ms, 1}, {101ms, 2}, {250ms, 3}, {1000ms, 11}};
  for (const auto& c : cases) {
    Grid grid(100ms);
    grid.clock.Start();
    grid.now = kT0 + c.late;  // the search after the first chord took this long
    EXPECT_EQ(grid.clock.Next(), kT0 + c.nextIndex * 100ms) << c.late.count();
    EXPECT_EQ(grid.clock.Index(), c.nextIndex);
  }
}

TEST(GridClock, RestartMovesTheGridAndZeroPeriodIsDueAtOnce) {
  Grid grid(100ms);
  grid.clock.Start();
  grid.now = kT0 + 30ms;
  EXPECT_EQ(grid.clock.Start(), kT0 + 30ms);
  EXPECT_EQ(grid.clock.Next(), kT0 + 130ms);

  Grid fast(0ms);
  fast.clock.Start();
  fast.now = kT0 + 7ms;
  EXPECT_EQ(fast.clock.Next(), kT0 + 7ms);
}

TEST(OfflineClock, TimePassesOnlyByWaiting) {
  OfflineClock clock(500ms);
  const Timestamp start = clock.Start();
  EXPECT_EQ(clock.Next(), start + 500ms);
  EXPECT_EQ(clock.Now(), start) << "nothing waited yet";
  clock.WaitedUntil(start + 500ms);
  EXPECT_EQ(clock.Now(), start + 500ms);
  EXPECT_EQ(clock.Next(), start + 1000ms);
  clock.WaitedUntil(start);  // never backwards
  EXPECT_EQ(clock.Now(), start + 500ms);
}

}  // namespace
}  // namespace sonavela::playback
