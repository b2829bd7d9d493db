// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/link_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "support/why.h"

namespace sonavela::timing {
namespace {

using namespace std::chrono_literals;

const Timestamp kT0 = Timestamp{} + 1000s;
constexpr std::chrono::nanoseconds kLookahead = 10ms;

// A Link session the test plays the other peers of: a linear beat timeline,
// its start/stop state and the peer count.
struct World {
  Timestamp now = kT0;
  std::size_t peers = 1;
  double tempo = 120;
  Timestamp origin = kT0;  // where the timeline is at `originBeat`
  double originBeat = 0;
  bool playing = false;
  Timestamp changedAt{};
  bool joined = false;
  int stops = 0;

  [[nodiscard]] double BeatAt(Timestamp at) const {
    return originBeat + std::chrono::duration<double>(at - origin).count() * tempo / 60;
  }
  [[nodiscard]] Timestamp TimeAt(double beat) const {
    return origin + std::chrono::nanoseconds(std::llround((beat - originBeat) * 60e9 / tempo));
  }
  void SetTempo(double bpm, Timestamp at) {
    originBeat = BeatAt(at);
    origin = at;
    tempo = bpm;
  }
};

class ScriptedLink final : public timing::LinkSession {
 public:
  explicit ScriptedLink(std::shared_ptr<World> world) : w_(std::move(world)) {}
  [[nodiscard]] Timestamp Now() const override { return w_->now; }
  void Join() override { w_->joined = true; }
  void Leave() override { w_->joined = false; }
  void Capture() override {}
  [[nodiscard]] std::size_t Peers() const override { return w_->peers; }
  [[nodiscard]] double Tempo() const override { return w_->tempo; }
  [[nodiscard]] double BeatAt(Timestamp at, double) const override { return w_->BeatAt(at); }
  [[nodiscard]] Timestamp TimeAt(double beat, double) const override { return w_->TimeAt(beat); }
  [[nodiscard]] bool Playing() const override { return w_->playing; }
  [[nodiscard]] Timestamp PlayingChangedAt() const override { return w_->changedAt; }
  void StartPlaying(Timestamp at, double quantum) override {
    w_->playing = true;
    w_->changedAt = at;
    if (w_->peers == 0) {
      w_->origin = at;
      w_->originBeat = 0;
    } else {
      // As Link does with peers: the phase stays, this peer's beat numbers
      // move so that beat 0 is the next boundary.
      w_->originBeat -= std::ceil(w_->BeatAt(at) / quantum) * quantum;
    }
  }
  void StopPlaying(Timestamp at) override {
    w_->playing = false;
    w_->changedAt = at;
    ++w_->stops;
  }

 private:
  std::shared_ptr<World> w_;
};

struct Follower {
  std::shared_ptr<World> world = std::make_shared<World>();
  timing::LinkClock clock;
  explicit Follower(int beatsPerChord)
      : clock(std::make_unique<ScriptedLink>(world), beatsPerChord) {}

  // Handles what is due within the lookahead, as the session does.
  std::vector<timing::ClockEvent> Play() {
    std::vector<timing::ClockEvent> events;
    while (const std::optional<timing::ClockEvent> event = clock.Poll(world->now + kLookahead)) {
      events.push_back(*event);
      clock.ChordPlayed();
    }
    return events;
  }
  // Goes to the lookahead before the next chord and plays it.
  std::vector<timing::ClockEvent> PlayNext() {
    world->now = *clock.NextChord() - kLookahead;
    return Play();
  }
};

TEST(LinkClock, StartingSetsTheSessionPlayingFromTheNextBoundary) {
  const struct {
    const char* what;
    std::size_t peers;
    double tempo;
    int beatsPerChord;
    double beatAtEngage;
    std::chrono::nanoseconds firstPoll;  // after Engage
    std::chrono::nanoseconds start;      // after Engage
    std::chrono::nanoseconds chord;
    const char* notice;
  } cases[] = {
      {"alone: after the peers had time to answer, beat 0 at once", 0, 150, 1, 7.5, 500ms, 510ms,
       400ms, "no other Link peer answered; leading a session at 150 BPM"},
      {"with a peer: no wait, on the session's next bar", 1, 100, 4, 1.3, 0ms, 1620ms, 2400ms,
       "joined a Link session of 1 other peer at 100 BPM"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Follower f(c.beatsPerChord);
    f.world->peers = c.peers;
    f.world->tempo = c.tempo;
    f.world->originBeat = c.beatAtEngage;
    f.clock.Engage(kT0);
    EXPECT_TRUE(f.world->joined);
    if (c.firstPoll > 0ms) {
      f.world->now = kT0 + c.firstPoll - 1ms;
      EXPECT_TRUE(f.Play().empty()) << "still listening for peers";
      EXPECT_FALSE(f.world->playing);
    }
    f.world->now = kT0 + c.firstPoll;
    std::vector<timing::ClockEvent> events = f.Play();
    EXPECT_TRUE(f.world->playing);
    EXPECT_EQ(Told(f.clock.TakeNotice()), c.notice);
    if (events.empty()) {
      events = f.PlayNext();
    }
    ASSERT_EQ(events, (std::vector<timing::ClockEvent>{{timing::Cue::kStart, kT0 + c.start}}));
    EXPECT_NEAR(std::remainder(f.world->BeatAt(kT0 + c.start), c.beatsPerChord), 0, 1e-6);
    for (int k = 1; k <= 3; ++k) {
      EXPECT_EQ(
          f.PlayNext(),
          (std::vector<timing::ClockEvent>{{timing::Cue::kChord, kT0 + c.start + k * c.chord}}));
    }
    EXPECT_EQ(f.clock.CurrentMeter().beatsPerChord, c.beatsPerChord);
  }
}

// A follower at 120 BPM with a peer, two beats a chord, that played its
// first chord at kT0.
Follower PlayingAtT0() {
  Follower f(2);
  f.world->now = kT0 - 20ms;
  f.clock.Engage(f.world->now);
  EXPECT_TRUE(f.Play().empty());
  EXPECT_EQ(f.PlayNext(), (std::vector<timing::ClockEvent>{{timing::Cue::kStart, kT0}}));
  return f;
}

TEST(LinkClock, TheNextChordFollowsWhatTheSessionDoesMeanwhile) {
  const struct {
    const char* what;
    std::function<void(World&)> change;  // at kT0 + 500 ms
    std::chrono::nanoseconds next;
  } cases[] = {
      {"nothing", [](World&) {}, 1s},
      {"the tempo halves a beat in", [](World& w) { w.SetTempo(60, kT0 + 500ms); }, 1500ms},
      {"a peer renumbers the beats", [](World& w) { w.originBeat += 2; }, 1s},
      {"the planning ran past the boundary", [](World& w) { w.now = kT0 + 1100ms; }, 2s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Follower f = PlayingAtT0();
    f.world->now = kT0 + 500ms;
    c.change(*f.world);
    f.clock.ChordPlayed();
    EXPECT_EQ(f.clock.NextChord(), kT0 + c.next);
    EXPECT_EQ(f.PlayNext(), (std::vector<timing::ClockEvent>{{timing::Cue::kChord, kT0 + c.next}}));
  }
}

TEST(LinkClock, APeerStopSilencesAndItsStartIsAFreshStartOnTheNextBoundary) {
  Follower f = PlayingAtT0();
  (void)f.clock.TakeNotice();
  f.world->playing = false;
  f.world->changedAt = kT0 + 1300ms;
  f.world->now = kT0 + 1200ms;
  EXPECT_EQ(f.Play(), (std::vector<timing::ClockEvent>{{timing::Cue::kChord, kT0 + 1s}}))
      << "a chord before the stop is still played";
  EXPECT_TRUE(f.Play().empty()) << "the stop is not due yet";
  f.world->now = kT0 + 1295ms;
  EXPECT_EQ(f.Play(), (std::vector<timing::ClockEvent>{{timing::Cue::kStop, kT0 + 1300ms}}));
  EXPECT_EQ(Told(f.clock.TakeNotice()),
            "a Link peer stopped the session; waiting for it to start again");
  f.world->now = kT0 + 10s;
  EXPECT_TRUE(f.Play().empty());
  EXPECT_FALSE(f.clock.PulseAfter(kT0 + 10s));
  EXPECT_TRUE(f.clock.Engaged()) << "waiting for the next start";

  f.world->playing = true;
  f.world->changedAt = kT0 + 10'100ms;  // beat 20.2: the next boundary is beat 22
  EXPECT_TRUE(f.Play().empty());
  EXPECT_EQ(Told(f.clock.TakeNotice()), "a Link peer started the session");
  EXPECT_EQ(f.PlayNext(), (std::vector<timing::ClockEvent>{{timing::Cue::kStart, kT0 + 11s}}));
  EXPECT_EQ(f.world->stops, 0) << "a follower does not stop the session itself";

  // A stop asked for before a chord that was already sent falls on that
  // chord, so that its notes do not ring on.
  f.world->playing = false;
  f.world->changedAt = kT0 + 10'995ms;
  EXPECT_EQ(f.Play(), (std::vector<timing::ClockEvent>{{timing::Cue::kStop, kT0 + 11s}}));
}

TEST(LinkClock, StoppingStopsTheSessionItStartedAndLeavesIt) {
  Follower started = PlayingAtT0();
  started.world->now = kT0 + 300ms;
  started.clock.Disengage();
  EXPECT_FALSE(started.world->playing);
  EXPECT_EQ(started.world->changedAt, kT0 + 300ms);
  EXPECT_FALSE(started.world->joined);
  EXPECT_FALSE(started.clock.Poll(Timestamp::max()));
  EXPECT_EQ(started.clock.NextWake(), Timestamp::max());

  Follower listening(4);
  listening.world->peers = 0;
  listening.world->playing = true;  // someone else's
  listening.clock.Engage(kT0);
  listening.clock.Disengage();
  EXPECT_EQ(listening.world->stops, 0) << "not started yet: the peers play on";
  EXPECT_FALSE(listening.world->joined);
}

TEST(LinkClock, PulsesAre24ABeatOnTheSessionGridAndNeverRepeat) {
  Follower f = PlayingAtT0();
  Timestamp pulse = kT0 - 1ns;
  std::vector<Timestamp> pulses;
  for (int i = 0; i < 48; ++i) {
    pulse = *f.clock.PulseAfter(pulse);
    pulses.push_back(pulse);
    // Each reading of the timeline moves by a microsecond or so.
    f.world->origin += (i % 2 == 0 ? 2us : -2us);
  }
  EXPECT_EQ(pulses.front(), kT0) << "the first on the chord's onset";
  for (std::size_t i = 1; i < pulses.size(); ++i) {
    EXPECT_NEAR((pulses[i] - pulses[i - 1]) / 1ns, 500e6 / 24, 4000) << i;
  }
}

}  // namespace
}  // namespace sonavela::timing
