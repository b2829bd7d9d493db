// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/host_clock.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sonavela::timing {

namespace {

// Frames: a time up to a thousandth of a frame past one is on it.
constexpr double kOnTheFrame = 1e-3;

}  // namespace

HostClock::HostClock(double sampleRate) : time_(sampleRate) {}

void HostClock::Activate(std::int64_t frame) {
  time_.Activate(frame);
  from_ = frame;
  to_ = frame;
  started_ = false;
  cuedSinceStop_ = false;
  stopped_ = false;
  stopAt_.reset();
  cued_.reset();
  next_.reset();
}

void HostClock::Engage(Timestamp /*now*/) {
  engaged_ = true;
  Aim();
}

void HostClock::Span(std::int64_t from, std::int64_t to) {
  // A boundary played in the last span moved the start past its frame.
  from_ = std::max(from, from_);
  to_ = to;
  Aim();
}

void HostClock::Aim() {
  next_.reset();
  if (engaged_ && !cued_) {
    if (const std::optional<Boundary> boundary = time_.NextBoundary(from_, to_, beatsPerChord_)) {
      next_ = boundary->frame;
      nextIsFresh_ = boundary->fresh;
    }
  }
}

void HostClock::Apply(std::int64_t frame, const HostPosition& position) {
  if (time_.Apply(frame, position) && cuedSinceStop_) {
    stopAt_ = frame;
    cuedSinceStop_ = false;
  }
}

Timestamp HostClock::TimeOfFrame(std::int64_t frame) const {
  return Timestamp(std::chrono::nanoseconds(
      std::llround(static_cast<double>(frame) * 1e9 / time_.SampleRate())));
}

std::int64_t HostClock::FrameAt(Timestamp at) const {
  const double exact =
      static_cast<double>(at.time_since_epoch().count()) * time_.SampleRate() / 1e9;
  return static_cast<std::int64_t>(std::ceil(exact - kOnTheFrame));
}

Timestamp HostClock::Now() const {
  return TimeOfFrame(next_.value_or(to_)) - std::chrono::nanoseconds(1);
}

std::optional<ClockEvent> HostClock::Poll(Timestamp /*horizon*/) {
  if (stopAt_) {
    const ClockEvent stop{Cue::kStop, TimeOfFrame(*stopAt_)};
    stopAt_.reset();
    stopped_ = true;
    return stop;
  }
  if (!next_) {
    return std::nullopt;
  }
  cued_ = std::exchange(next_, std::nullopt);
  const Cue cue = nextIsFresh_ || !started_ ? Cue::kStart : stopped_ ? Cue::kResume : Cue::kChord;
  started_ = true;
  cuedSinceStop_ = true;
  stopped_ = false;
  return ClockEvent{cue, TimeOfFrame(*cued_)};
}

void HostClock::ChordPlayed() {
  if (!cued_) {
    return;
  }
  time_.Passed();
  // One chord a frame at most, however fast the host's tempo.
  from_ = *cued_ + 1;
  cued_.reset();
  Aim();
}

Meter HostClock::CurrentMeter() const {
  return Meter::FromTempo(60.0 / time_.SecondsPerBeat(), beatsPerChord_);
}

}  // namespace sonavela::timing
