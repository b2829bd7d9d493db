// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/jack/jack_timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

namespace sonavela::midi {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kPeriod = 256;
constexpr double kPeriodUs = 1e6 * kPeriod / kRate;

// Cycles as JACK reports them: the true line (frames at exactly the rate)
// with the wander of JACK's estimate, and the times in between that a
// chord grid of 100 ms asks for.
struct Server {
  std::mt19937 random{3};
  std::uniform_real_distribution<double> wander{-30.0, 30.0};  // microseconds
  std::uint64_t frame = 0;
  double originUs = 5e6;

  std::int64_t Cycle(JackTimeline& timeline, const void* observer) {
    const double us = originUs + static_cast<double>(frame) * 1e6 / kRate + wander(random);
    const std::int64_t seen = timeline.Observe(observer, static_cast<std::uint32_t>(frame),
                                               static_cast<std::uint64_t>(std::llround(us)), kRate);
    frame += kPeriod;
    return seen;
  }
};

TEST(JackTimeline, ChordsOnAGridLandOnExactFramesDespiteTheEstimatesWander) {
  JackTimeline timeline;
  Server server;
  EXPECT_FALSE(timeline.FrameAt(0)) << "no line before a cycle";
  const std::int64_t first = server.Cycle(timeline, &server);
  const std::int64_t startNs = *timeline.TimeOfFrame(first);
  for (int cycle = 0; cycle < 20000; ++cycle) {  // a minute and a half
    (void)server.Cycle(timeline, &server);
  }
  for (std::int64_t k : {0, 1, 7, 100, 900}) {
    const std::int64_t chordNs = startNs + k * 100'000'000;
    EXPECT_EQ(std::llround(*timeline.FrameAt(chordNs)), first + k * 4800) << "chord " << k;
  }
  EXPECT_EQ(*timeline.TimeOfFrame(first + 4800), startNs + 100'000'000);
}

TEST(JackTimeline, MovesOnlyWhenJacksEstimatePartsFromItByMoreThanTheTolerance) {
  const struct {
    const char* what;
    double jumpUs;
    bool moves;
  } cases[] = {
      {"within the tolerance", 900, false},
      {"an xrun's lost time", 1100, true},
      {"a clock the other way", -1100, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    JackTimeline timeline;
    Server server;
    server.wander = std::uniform_real_distribution<double>(0.0, 0.0);
    const std::int64_t first = server.Cycle(timeline, &server);
    const std::int64_t before = *timeline.TimeOfFrame(first);
    server.originUs += c.jumpUs;
    const std::int64_t now = server.Cycle(timeline, &server);
    const std::int64_t expected =
        before + std::llround((c.moves ? c.jumpUs : 0.0) * 1000 + kPeriodUs * 1000);
    EXPECT_NEAR(static_cast<double>(*timeline.TimeOfFrame(now)), static_cast<double>(expected),
                1000)
        << "the cycle's time on the line, to JACK's microsecond";
  }
}

TEST(JackTimeline, CountsOnAcrossTheWrapOfTheServersFrames) {
  JackTimeline timeline;
  Server server;
  server.wander = std::uniform_real_distribution<double>(0.0, 0.0);
  server.frame = 0xFFFFFFFFULL - 2 * kPeriod + 1;
  const std::int64_t before = server.Cycle(timeline, &server);
  std::int64_t last = before;
  for (int cycle = 0; cycle < 4; ++cycle) {
    last = server.Cycle(timeline, &server);
  }
  EXPECT_EQ(last, before + 4 * kPeriod);
  EXPECT_GT(last, 0xFFFFFFFFLL);
  EXPECT_EQ(*timeline.Unwrap(static_cast<std::uint32_t>(last + 10)), last + 10);
}

TEST(JackTimeline, OneObserverAtATimeAndNoLineOnceItLetsGo) {
  JackTimeline timeline;
  Server first;
  Server second;
  second.originUs += 50'000;  // a line 50 ms off, were it followed
  const std::int64_t frame = first.Cycle(timeline, &first);
  const std::int64_t line = *timeline.TimeOfFrame(frame);
  (void)second.Cycle(timeline, &second);
  EXPECT_EQ(*timeline.TimeOfFrame(frame), line) << "only the first observer moves it";
  timeline.Release(&second);
  EXPECT_TRUE(timeline.FrameAt(0)) << "only the observer lets go";
  timeline.Release(&first);
  EXPECT_FALSE(timeline.FrameAt(0));
  EXPECT_FALSE(timeline.Unwrap(0));
  const std::int64_t taken = second.Cycle(timeline, &second);
  EXPECT_NEAR(static_cast<double>(*timeline.TimeOfFrame(taken)),
              (second.originUs + static_cast<double>(taken) * 1e6 / kRate) * 1000, 30'000);
}

}  // namespace
}  // namespace sonavela::midi
