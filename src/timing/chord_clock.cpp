// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/chord_clock.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sonavela::timing {

namespace {

constexpr int kPulsesPerBeat = 24;

}  // namespace

Meter Meter::FromTempo(double bpm, int beatsPerChord) {
  return {std::chrono::nanoseconds(std::llround(60e9 / bpm)), beatsPerChord, 60e9 / bpm};
}

std::chrono::nanoseconds Meter::Chord() const {
  return Beats(beatsPerChord);
}

std::chrono::nanoseconds Meter::Beats(double beats) const {
  return std::chrono::nanoseconds(std::llround(beats * BeatNs()));
}

Meter Meter::FromPeriod(std::chrono::nanoseconds period) {
  return {std::max(period, std::chrono::nanoseconds::zero()) / kDefaultBeatsPerChord,
          kDefaultBeatsPerChord};
}

GridClock::GridClock(Meter meter, TimeSource now)
    : meter_(meter), now_(now ? std::move(now) : [] { return midi::MidiClock::now(); }) {}

void GridClock::Engage(Timestamp now) {
  origin_ = now;
  index_ = 0;
  engaged_ = true;
  startPending_ = true;
  awaitingPlayed_ = false;
}

Timestamp GridClock::GridPoint(std::int64_t index) const {
  return origin_ + meter_.Beats(static_cast<double>(index) * meter_.beatsPerChord);
}

std::optional<ClockEvent> GridClock::Poll(Timestamp horizon) {
  if (!engaged_ || awaitingPlayed_) {
    return std::nullopt;
  }
  if (startPending_) {
    if (origin_ > horizon) {
      return std::nullopt;
    }
    startPending_ = false;
    awaitingPlayed_ = true;
    return ClockEvent{Cue::kStart, origin_};
  }
  const Timestamp due = *NextChord();
  if (due > horizon) {
    return std::nullopt;
  }
  awaitingPlayed_ = true;
  return ClockEvent{Cue::kChord, due};
}

void GridClock::ChordPlayed() {
  awaitingPlayed_ = false;
  startPending_ = false;
  // Read after the chord was planned, so that a search slower than the
  // period skips the deadlines it overran instead of firing them in a burst.
  const Timestamp now = Now();
  const std::chrono::nanoseconds chord = meter_.Chord();
  if (chord <= std::chrono::nanoseconds::zero()) {
    ++index_;
    asapDue_ = now;
    return;
  }
  std::int64_t next = index_ + 1;
  if (now > GridPoint(next)) {
    next = (now - origin_) / chord + 1;
    while (GridPoint(next) <= now) {
      ++next;
    }
  }
  index_ = next;
}

std::optional<Timestamp> GridClock::NextChord() const {
  if (!engaged_) {
    return std::nullopt;
  }
  if (startPending_) {
    return origin_;
  }
  return meter_.Chord() <= std::chrono::nanoseconds::zero() ? asapDue_ : GridPoint(index_);
}

Timestamp GridClock::NextWake() const {
  if (!engaged_ || awaitingPlayed_) {
    return Timestamp::max();
  }
  return *NextChord();
}

std::optional<Timestamp> GridClock::PulseAfter(Timestamp after) const {
  const double beat = meter_.BeatNs();
  if (!engaged_ || beat <= 0) {
    return std::nullopt;
  }
  // Pulse i lies at i / 24 beats from the origin, each computed from the
  // origin so that no rounding adds up over a long run.
  const double since = static_cast<double>((after - origin_).count());
  std::int64_t i = since < 0 ? 0 : static_cast<std::int64_t>(since * kPulsesPerBeat / beat) + 1;
  const auto at = [&](std::int64_t pulse) {
    return origin_ + meter_.Beats(static_cast<double>(pulse) / kPulsesPerBeat);
  };
  while (i > 0 && at(i - 1) > after) {
    --i;
  }
  while (at(i) <= after) {
    ++i;
  }
  return at(i);
}

OfflineClock::OfflineClock(Meter meter) : OfflineClock(meter, std::make_shared<Timestamp>()) {}

OfflineClock::OfflineClock(Meter meter, std::shared_ptr<Timestamp> now)
    : GridClock(meter, [now] { return *now; }), time_(std::move(now)) {}

void OfflineClock::WaitedUntil(Timestamp time) {
  *time_ = std::max(*time_, time);
}

}  // namespace sonavela::timing
