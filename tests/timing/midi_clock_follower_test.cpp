// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/midi_clock_follower.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace sonavela::timing {
namespace {

using namespace std::chrono_literals;
using timing::ClockMessage;

const Timestamp kT0 = Timestamp{} + 1000s;

// A master's messages, each at the time it reaches the program.
struct Script {
  std::vector<timing::ClockInputEvent> events;

  Script& Send(timing::ClockMessage message, std::chrono::nanoseconds at,
               std::uint16_t sixteenths = 0) {
    events.push_back({message, sixteenths, kT0 + at});
    return *this;
  }
  // `count` clocks from `from` on, `period` apart, each moved by up to
  // `jitter` either way, or held to the end of its `burst` (a JACK cycle
  // brings all of its clocks at once).
  Script& Clocks(int count, std::chrono::nanoseconds from, std::chrono::nanoseconds period,
                 std::chrono::nanoseconds jitter = 0ns, std::chrono::nanoseconds burst = 0ns) {
    std::mt19937 random(7);
    std::uniform_int_distribution<std::int64_t> offset(-jitter.count(), jitter.count());
    for (int i = 0; i < count; ++i) {
      std::chrono::nanoseconds at = from + period * i + std::chrono::nanoseconds(offset(random));
      if (burst > 0ns) {
        at = (at / burst + 1) * burst;
      }
      Send(timing::ClockMessage::kClock, at);
    }
    return *this;
  }
  [[nodiscard]] Timestamp ClockTime(std::size_t index) const {
    std::size_t seen = 0;
    for (const timing::ClockInputEvent& event : events) {
      if (event.message == timing::ClockMessage::kClock && seen++ == index) {
        return event.at;
      }
    }
    return Timestamp::max();
  }
};

class FakeInput final : public timing::MidiClockFollower::Source {
 public:
  FakeInput(std::deque<timing::ClockInputEvent>& queue, bool& gone) : queue_(queue), gone_(gone) {}
  std::optional<timing::ClockInputEvent> Next() override {
    if (queue_.empty()) {
      return std::nullopt;
    }
    const timing::ClockInputEvent event = queue_.front();
    queue_.pop_front();
    return event;
  }
  bool Gone() override { return gone_; }

 private:
  std::deque<timing::ClockInputEvent>& queue_;
  bool& gone_;
};

// Plays a script as the session would: messages reach the queue at their
// times, and the follower is polled every millisecond.
struct Follower {
  Timestamp now = kT0;
  std::deque<timing::ClockInputEvent> queue;
  bool gone = false;
  timing::MidiClockFollower clock;
  std::vector<timing::ClockEvent> played;
  std::vector<std::string> notices;
  std::uint64_t pulses = 0;
  Timestamp lastPulse = kT0 - 1s;
  bool playing = false;

  void PassPulsesBefore(Timestamp end) {
    for (auto pulse = clock.PulseAfter(lastPulse); playing && pulse && *pulse < end;
         pulse = clock.PulseAfter(lastPulse)) {
      lastPulse = *pulse;
      ++pulses;
    }
  }

  explicit Follower(int beatsPerChord)
      : clock(std::make_unique<FakeInput>(queue, gone), "master", beatsPerChord, 120.0,
              [this] { return now; }) {
    clock.Engage(kT0);
  }

  void Run(const Script& script, std::chrono::nanoseconds until) {
    std::size_t next = 0;
    for (; now <= kT0 + until; now += 1ms) {
      for (; next < script.events.size() && script.events[next].at <= now; ++next) {
        queue.push_back(script.events[next]);
      }
      while (const std::optional<timing::ClockEvent> event = clock.Poll(now)) {
        // The pulses before each event, passed on as the session does with
        // --clock-out while it plays.
        PassPulsesBefore(event->at);
        played.push_back(*event);
        playing = event->cue != timing::Cue::kStop;
        if (event->cue == timing::Cue::kStart || event->cue == timing::Cue::kResume) {
          lastPulse = event->at - 1ns;
        }
        if (event->cue != timing::Cue::kStop) {
          clock.ChordPlayed();
        }
      }
      PassPulsesBefore(Timestamp::max());
      if (const std::optional<Notice> notice = clock.TakeNotice()) {
        notices.push_back(EnglishText(*notice));
      }
    }
  }
};

constexpr std::chrono::nanoseconds kClock120 = 20833333ns;  // 120 BPM

TEST(MidiClockFollower, AChordOnEveryNx24thClockFromTheFirstClockAfterStart) {
  const struct {
    int beatsPerChord;
    std::chrono::nanoseconds period;
    std::chrono::nanoseconds jitter;
    std::chrono::nanoseconds burst;
  } cases[] = {{4, kClock120, 0ns, 0ns},
               {1, kClock120, 0ns, 0ns},
               {3, 10ms, 2ms, 0ns},
               {1, 10417us, 2ms, 0ns},
               {2, 10417us, 0ns, 42667us}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.beatsPerChord << " beats, jitter " << c.jitter.count());
    const int perChord = 24 * c.beatsPerChord;
    const int chords = 12;
    Script script;
    // Clocks before Start only tell the tempo.
    script.Clocks(10, 0ms, c.period).Send(timing::ClockMessage::kStart, c.period * 10 + 1ms);
    script.Clocks(perChord * chords + perChord / 2, c.period * 11, c.period, c.jitter, c.burst);
    Follower f(c.beatsPerChord);
    f.Run(script, c.period * (11 + perChord * chords + perChord / 2 + 5));
    std::vector<timing::ClockEvent> expected{{timing::Cue::kStart, script.ClockTime(10)}};
    for (int k = 1; k < chords + 1; ++k) {
      expected.push_back(
          {timing::Cue::kChord, script.ClockTime(10 + static_cast<std::size_t>(k) * perChord)});
    }
    // Clocks that came at once are passed on a nanosecond apart.
    ASSERT_EQ(f.played.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
      EXPECT_EQ(f.played[k].cue, expected[k].cue) << k;
      EXPECT_LT(std::chrono::abs(f.played[k].at - expected[k].at), 1us) << k;
    }
    EXPECT_EQ(f.pulses, static_cast<std::uint64_t>(perChord * chords + perChord / 2));
    const double beat = std::chrono::duration<double>(f.clock.CurrentMeter().beat).count();
    EXPECT_NEAR(beat, std::chrono::duration<double>(c.period * 24).count(), 0.005);
    EXPECT_TRUE(f.notices.empty());
  }
}

TEST(MidiClockFollower, ContinueGoesOnAtTheBoundaryCountedFromTheSongPosition) {
  const struct {
    int beatsPerChord;
    std::uint16_t sixteenths;
    std::size_t firstChordClock;  // counted from the first clock after Continue
  } cases[] = {{4, 16, 0}, {4, 15, 6}, {4, 0, 0}, {1, 1, 18}, {2, 17, 42}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.beatsPerChord << " beats from " << c.sixteenths);
    Script script;
    script.Send(timing::ClockMessage::kSongPosition, 0ms, c.sixteenths).Clocks(30, 1ms, 10ms);
    script.Send(timing::ClockMessage::kContinue, 305ms)
        .Clocks(24 * c.beatsPerChord + 60, 310ms, 10ms);
    Follower f(c.beatsPerChord);
    f.Run(script, 2s);
    ASSERT_GE(f.played.size(), 2U);
    EXPECT_EQ(f.played[0],
              (timing::ClockEvent{timing::Cue::kResume, script.ClockTime(30 + c.firstChordClock)}));
    EXPECT_EQ(f.played[1],
              (timing::ClockEvent{timing::Cue::kChord, script.ClockTime(30 + c.firstChordClock +
                                                                        24 * c.beatsPerChord)}));
  }
}

TEST(MidiClockFollower, StopSilencesAndStartOrContinueRollsAgain) {
  Script script;
  script.Send(timing::ClockMessage::kStart, 0ms).Clocks(30, 1ms, 10ms);  // positions 0..29
  script.Send(timing::ClockMessage::kStop, 305ms).Clocks(20, 310ms, 10ms);
  script.Send(timing::ClockMessage::kContinue, 505ms).Clocks(30, 510ms, 10ms);  // 30..59
  script.Send(timing::ClockMessage::kStop, 815ms)
      .Send(timing::ClockMessage::kStart, 900ms)
      .Clocks(5, 910ms, 10ms);
  Follower f(1);
  f.Run(script, 1200ms);
  EXPECT_EQ(f.pulses, 30U + 12U + 5U) << "from each start or resume to the stop after it";
  // Clocks while stopped move nothing: Continue goes on from position 30.
  const std::vector<timing::ClockEvent> expected{
      {timing::Cue::kStart, script.ClockTime(0)}, {timing::Cue::kChord, script.ClockTime(24)},
      {timing::Cue::kStop, kT0 + 305ms},          {timing::Cue::kResume, script.ClockTime(50 + 18)},
      {timing::Cue::kStop, kT0 + 815ms},          {timing::Cue::kStart, script.ClockTime(80)}};
  EXPECT_EQ(f.played, expected);
}

// A JACK cycle stamps a clock and the Stop after it alike: the clock is
// still passed on, and the stop comes after it.
TEST(MidiClockFollower, AClockStampedWithTheStopIsPassedOnBeforeIt) {
  Script script;
  script.Send(timing::ClockMessage::kStart, 0ms).Clocks(10, 1ms, 10ms);
  script.Send(timing::ClockMessage::kStop, 91ms);
  Follower f(1);
  f.Run(script, 200ms);
  EXPECT_EQ(f.pulses, 10U);
  ASSERT_EQ(f.played.size(), 2U);
  EXPECT_EQ(f.played.back(), (timing::ClockEvent{timing::Cue::kStop, kT0 + 91ms + 1ns}));
}

TEST(MidiClockFollower, AClockThatStopsArrivingIsNoticedOnceAndTheProgressionGoesOn) {
  for (const bool gone : {false, true}) {
    SCOPED_TRACE(gone ? "input gone" : "cable pulled");
    Script script;
    script.Send(timing::ClockMessage::kStart, 0ms).Clocks(40, 1ms, 10ms);  // positions 0..39
    script.Clocks(60, 3001ms, 10ms);                                       // 40..99
    Follower f(1);
    f.gone = gone;
    f.Run(script, 4s);
    ASSERT_EQ(f.notices.size(), 1U);
    EXPECT_EQ(f.notices[0], gone ? "the MIDI input \"master\" is gone; the chord goes on until "
                                   "it comes back"
                                 : "the MIDI clock from \"master\" stopped arriving; the chord "
                                   "goes on until it comes back");
    const std::vector<timing::ClockEvent> expected{{timing::Cue::kStart, script.ClockTime(0)},
                                                   {timing::Cue::kChord, script.ClockTime(24)},
                                                   {timing::Cue::kChord, script.ClockTime(48)},
                                                   {timing::Cue::kChord, script.ClockTime(72)},
                                                   {timing::Cue::kChord, script.ClockTime(96)}};
    EXPECT_EQ(f.played, expected);
  }
}

TEST(MidiClockFollower, AMasterAlreadyRollingIsJoinedAtItsNextBoundary) {
  Follower f(1);
  f.clock.Disengage();
  // Heard while the user had not started yet: long before Engage.
  f.queue.push_back({timing::ClockMessage::kStart, 0, kT0 - 1s});
  for (int i = 0; i < 10; ++i) {
    f.queue.push_back({timing::ClockMessage::kClock, 0, kT0 - 1s + 10ms * (i + 1)});
  }
  f.clock.Engage(kT0);
  Script script;
  script.Clocks(40, 5ms, 10ms);  // positions 10..49
  f.Run(script, 1s);
  EXPECT_EQ(f.played,
            (std::vector<timing::ClockEvent>{{timing::Cue::kResume, script.ClockTime(14)},
                                             {timing::Cue::kChord, script.ClockTime(38)}}));
}

TEST(MidiClockFollower, LostMessagesSilenceUntilTheMasterStartsAgain) {
  Script script;
  script.Send(timing::ClockMessage::kStart, 0ms).Clocks(30, 1ms, 10ms);
  script.Send(timing::ClockMessage::kLost, 302ms).Clocks(30, 310ms, 10ms);
  Follower f(1);
  f.Run(script, 1s);
  EXPECT_EQ(f.played, (std::vector<timing::ClockEvent>{{timing::Cue::kStart, script.ClockTime(0)},
                                                       {timing::Cue::kChord, script.ClockTime(24)},
                                                       {timing::Cue::kStop, kT0 + 302ms}}));
  EXPECT_EQ(f.notices.size(), 1U);
}

// Only whole messages count: a status with bytes after it, a cut song
// position or one with a status byte for data is not what a master sends.
TEST(ClockInputFromBytes, TakesOnlyWellFormedMessages) {
  const struct {
    std::vector<std::uint8_t> bytes;
    std::optional<ClockMessage> message;
    std::uint16_t sixteenths = 0;
  } cases[] = {
      {{0xF8}, ClockMessage::kClock},
      {{0xFA}, ClockMessage::kStart},
      {{0xFC}, ClockMessage::kStop},
      {{0xF2, 0x10, 0x01}, ClockMessage::kSongPosition, 0x90},
      {{0xF8, 0x00, 0x00, 0x00}, std::nullopt},
      {{0xFA, 0x7F}, std::nullopt},
      {{0xF2, 0x10}, std::nullopt},
      {{0xF2, 0x90, 0x01}, std::nullopt},
      {{0xF2, 0x10, 0x01, 0x00}, std::nullopt},
      {{0x90, 60, 64}, std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<ClockInputEvent> event =
        ClockInputFromBytes(c.bytes.data(), c.bytes.size());
    ASSERT_EQ(event.has_value(), c.message.has_value()) << c.bytes.size() << " bytes";
    if (event) {
      EXPECT_EQ(event->message, *c.message);
      EXPECT_EQ(event->sixteenths, c.sixteenths);
    }
  }
}

}  // namespace
}  // namespace sonavela::timing
