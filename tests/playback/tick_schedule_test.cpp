#include "playback/tick_schedule.h"

#include <gtest/gtest.h>

#include <chrono>

namespace sonavela::playback {
namespace {

using namespace std::chrono_literals;
using Clock = TickSchedule::Clock;

const Clock::time_point kT0 = Clock::time_point{} + 1000s;

TEST(TickScheduleTest, DeadlinesStayOnTheGridWhateverTheHandlingDelay) {
  TickSchedule schedule;
  schedule.Start(kT0, 50ms);
  EXPECT_EQ(schedule.NextDeadline(), kT0 + 50ms);
  // Handled late by varying amounts below one period: no deadline is lost and
  // none moves.
  const Clock::duration delays[] = {0ms, 3ms, 49ms, 1us, 20ms};
  for (int k = 1; k <= 5; ++k) {
    EXPECT_EQ(schedule.TickHandled(schedule.NextDeadline() + delays[k - 1]), 0);
    EXPECT_EQ(schedule.NextDeadline(), kT0 + (k + 1) * 50ms);
    EXPECT_EQ(schedule.NextIndex(), k + 1);
  }
}

TEST(TickScheduleTest, NoDriftAfterManyTicks) {
  TickSchedule schedule;
  schedule.Start(kT0, 2000ms);
  for (int k = 0; k < 10000; ++k) {
    schedule.TickHandled(schedule.NextDeadline() + 1999ms);
  }
  EXPECT_EQ(schedule.NextDeadline(), kT0 + 10001 * 2000ms);
}

TEST(TickScheduleTest, ALateTickIsNotDoubled) {
  const struct {
    Clock::duration late;
    std::int64_t skipped;
    std::int64_t nextIndex;
  } cases[] = {
      {50ms, 1, 3},   // handled exactly on the following deadline: that one is served too
      {51ms, 1, 3},   // just after it
      {149ms, 2, 4},  // three deadlines overrun
      {150ms, 3, 5},
  };
  for (const auto& c : cases) {
    TickSchedule schedule;
    schedule.Start(kT0, 50ms);
    EXPECT_EQ(schedule.TickHandled(kT0 + 50ms + c.late), c.skipped);
    EXPECT_EQ(schedule.NextIndex(), c.nextIndex);
    EXPECT_EQ(schedule.NextDeadline(), kT0 + c.nextIndex * 50ms);
    EXPECT_GT(schedule.NextDeadline(), kT0 + 50ms + c.late);
  }
}

TEST(TickScheduleTest, AnEarlyTimerDoesNotGetTheSameDeadlineTwice) {
  TickSchedule schedule;
  schedule.Start(kT0, 50ms);
  EXPECT_EQ(schedule.TickHandled(kT0 + 49ms), 0);
  EXPECT_EQ(schedule.NextDeadline(), kT0 + 100ms);
}

TEST(TickScheduleTest, RestartMovesTheGrid) {
  TickSchedule schedule;
  schedule.Start(kT0, 50ms);
  schedule.TickHandled(kT0 + 50ms);
  schedule.Start(kT0 + 77ms, 2000ms);
  EXPECT_EQ(schedule.NextDeadline(), kT0 + 2077ms);
  EXPECT_EQ(schedule.NextIndex(), 1);
}

TEST(TickScheduleTest, ZeroPeriodIsDueAtOnceEveryTime) {
  TickSchedule schedule;
  schedule.Start(kT0, 0ms);
  EXPECT_EQ(schedule.NextDeadline(), kT0);
  EXPECT_EQ(schedule.TickHandled(kT0 + 5ms), 0);
  EXPECT_EQ(schedule.NextDeadline(), kT0 + 5ms);
  EXPECT_EQ(schedule.NextIndex(), 2);
}

}  // namespace
}  // namespace sonavela::playback
