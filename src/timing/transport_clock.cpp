// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/transport_clock.h"

#include <cmath>
#include <utility>

namespace sonavela::timing {

namespace {

constexpr int kPulsesPerBeat = 24;
// Short enough to see a roll begin well within one JACK period, so that the
// first chord still reaches the cycle that plays it.
constexpr std::chrono::microseconds kPoll{500};
// A roll seen this soon after beat 1 of bar 1 began at the very start.
constexpr double kFreshStartSeconds = 0.1;

}  // namespace

TransportClock::TransportClock(Source source, int beatsPerChord, GridClock::TimeSource now)
    : source_(std::move(source)),
      beatsPerChord_(beatsPerChord),
      now_(now ? std::move(now) : [] { return midi::MidiClock::now(); }) {}

void TransportClock::Engage(Timestamp /*now*/) {
  engaged_ = true;
  playing_ = false;
  wasRolling_ = false;
  awaitingPlayed_ = false;
  playedBoundary_ = -1;
  awaited_.reset();
  last_ = source_();
  anchor_.reset();
  beatsPerSecond_.reset();
  // A transport that is already rolling is joined at its next boundary.
  if (last_ && last_->rolling) {
    wasRolling_ = true;
  }
}

void TransportClock::Disengage() {
  engaged_ = false;
  playing_ = false;
}

void TransportClock::MeasureRate(const timing::TransportPosition& read) {
  constexpr auto kBaseline = std::chrono::milliseconds(200);
  if (!read.rolling) {
    // The rate measured is the master's at its tempo, and holds for its
    // next roll: the first boundary of a roll may come before a new
    // measurement can.
    anchor_.reset();
    return;
  }
  if (!anchor_) {
    anchor_ = read;
    return;
  }
  const double seconds = std::chrono::duration<double>(read.at - anchor_->at).count();
  if (read.at - anchor_->at < kBaseline) {
    return;
  }
  const double rate = (read.beats - anchor_->beats) / seconds;
  const double stated = read.bpm / 60.0;
  // A relocation or a tempo change is no measurement: start afresh.
  if (stated > 0 && std::abs(rate - stated) < 0.1 * stated) {
    beatsPerSecond_ = rate;
    measuredAtBpm_ = read.bpm;
  } else {
    beatsPerSecond_.reset();
  }
  anchor_ = read;
}

double TransportClock::SecondsPerBeat() const {
  if (beatsPerSecond_ && *beatsPerSecond_ > 0 && last_ && last_->bpm == measuredAtBpm_) {
    return 1.0 / *beatsPerSecond_;
  }
  if (!last_ || last_->bpm <= 0) {
    return 60.0 / kDefaultTempo;
  }
  return 60.0 / last_->bpm * (last_->timeScale > 0 ? last_->timeScale : 1.0);
}

Timestamp TransportClock::TimeOfBeats(double beats) const {
  const double seconds = (beats - last_->beats) * SecondsPerBeat();
  return last_->at + std::chrono::nanoseconds(std::llround(seconds * 1e9));
}

TransportClock::Boundary TransportClock::NextBoundary() const {
  // The first boundary at or after the position read; a boundary already
  // played (the reading may be older than its time) gives way to the next.
  const double chords = last_->beats / beatsPerChord_;
  std::int64_t index = static_cast<std::int64_t>(std::ceil(chords - 1e-9));
  if (awaited_ && *awaited_ == index - 1 && *awaited_ != playedBoundary_) {
    index = *awaited_;
  }
  Timestamp at = TimeOfBeats(static_cast<double>(index * beatsPerChord_));
  const auto halfChord =
      std::chrono::nanoseconds(std::llround(SecondsPerBeat() * beatsPerChord_ * 0.5e9));
  if (index == playedBoundary_ && at - playedAt_ < halfChord && playedAt_ - at < halfChord) {
    ++index;
    at = TimeOfBeats(static_cast<double>(index * beatsPerChord_));
  }
  return {index, at};
}

ClockEvent TransportClock::Emit(Cue cue, Timestamp at, std::int64_t boundary) {
  playing_ = true;
  awaited_.reset();
  awaitingPlayed_ = true;
  playedBoundary_ = boundary;
  playedAt_ = at;
  return {cue, at};
}

std::optional<ClockEvent> TransportClock::Poll(Timestamp horizon) {
  if (!engaged_ || awaitingPlayed_) {
    return std::nullopt;
  }
  const std::optional<timing::TransportPosition> read = source_();
  if (!read) {
    if (!gone_) {
      gone_ = true;
      notice_ = Notice::Of(NoticeKind::kTransportGone);
    }
    if (playing_) {
      playing_ = false;
      return ClockEvent{Cue::kStop, Now()};
    }
    return std::nullopt;
  }
  if (gone_) {
    gone_ = false;
    notice_ = Notice::Of(NoticeKind::kTransportBack);
    // Whatever it did meanwhile, its next roll is joined afresh.
    wasRolling_ = false;
    anchor_.reset();
  }
  last_ = read;
  MeasureRate(*read);
  if (!read->rolling) {
    wasRolling_ = false;
    awaited_.reset();
    if (playing_) {
      playing_ = false;
      return ClockEvent{Cue::kStop, read->at};
    }
    return std::nullopt;
  }
  const bool rollBegan = !wasRolling_;
  wasRolling_ = true;
  if (!playing_ && rollBegan && read->beats >= 0 &&
      read->beats * SecondsPerBeat() < kFreshStartSeconds) {
    return Emit(Cue::kStart, TimeOfBeats(0.0), 0);
  }
  const Boundary next = NextBoundary();
  if (next.at > horizon) {
    awaited_ = next.index;
    return std::nullopt;
  }
  return Emit(playing_ ? Cue::kChord : Cue::kResume, next.at, next.index);
}

Timestamp TransportClock::NextWake() const {
  const std::optional<Timestamp> next = NextChord();
  return next ? *next : Timestamp::max();
}

std::optional<Timestamp> TransportClock::NextChord() const {
  if (!engaged_ || !last_ || !last_->rolling) {
    return std::nullopt;
  }
  return NextBoundary().at;
}

std::chrono::nanoseconds TransportClock::PollInterval() const {
  return engaged_ ? std::chrono::nanoseconds(kPoll) : std::chrono::nanoseconds::max();
}

Meter TransportClock::CurrentMeter() const {
  return {std::chrono::nanoseconds(std::llround(SecondsPerBeat() * 1e9)), beatsPerChord_};
}

std::optional<Timestamp> TransportClock::PulseAfter(Timestamp after) const {
  if (!engaged_ || !last_ || !last_->rolling) {
    return std::nullopt;
  }
  const double seconds = std::chrono::duration<double>(after - last_->at).count();
  const double beats = last_->beats + seconds / SecondsPerBeat();
  double pulse = std::floor(beats * kPulsesPerBeat) + 1;
  Timestamp at = TimeOfBeats(pulse / kPulsesPerBeat);
  while (at <= after) {
    pulse += 1;
    at = TimeOfBeats(pulse / kPulsesPerBeat);
  }
  return at;
}

std::optional<Notice> TransportClock::TakeNotice() {
  return std::exchange(notice_, std::nullopt);
}

}  // namespace sonavela::timing
