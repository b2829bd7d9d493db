// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/host_time.h"

#include <algorithm>
#include <cmath>

namespace sonavela::timing {

namespace {

// Positions this close to a beat are on it: barBeat is a 32-bit float, good
// to about 1e-7 of a bar.
constexpr double kOnTheBeat = 1e-6;
// A position further than this from where the count had got to is a jump
// (a relocation, a loop), not the host restating where it is: more than a
// float's error and a host's rounding of the beat (Ardour: 1/1920).
constexpr double kJump = 1e-3;
// Frames: a boundary a hair past an exact frame is on that frame.
constexpr double kOnTheFrame = 1e-4;
constexpr double kDefaultTempo = 120.0;
constexpr double kSlowestTempo = 1.0;

}  // namespace

HostTime::HostTime(double sampleRate) : sampleRate_(sampleRate) {}

void HostTime::Activate(std::int64_t frame) {
  rolling_ = true;
  speed_ = 1.0;
  beatsPerMinute_ = kDefaultTempo;
  beatsPerBar_ = 4.0;
  anchorFrame_ = frame;
  anchorBeat_ = 0.0;
  nextBeat_ = 0.0;
  countedFor_ = 0;
  nextIsFresh_ = true;
}

double HostTime::BeatsPerFrame() const {
  return std::max(beatsPerMinute_, kSlowestTempo) * speed_ / (60.0 * sampleRate_);
}

double HostTime::BeatAt(std::int64_t frame) const {
  if (!rolling_) {
    return anchorBeat_;
  }
  return anchorBeat_ + static_cast<double>(frame - anchorFrame_) * BeatsPerFrame();
}

bool HostTime::Apply(std::int64_t frame, const HostPosition& position) {
  const double before = BeatAt(frame);
  const bool wasRolling = rolling_;
  const double previousBeatsPerFrame = rolling_ ? BeatsPerFrame() : 0.0;
  speed_ = position.speed.value_or(speed_);
  if (position.beatsPerMinute && *position.beatsPerMinute > 0.0) {
    beatsPerMinute_ = *position.beatsPerMinute;
  }
  if (position.beatsPerBar && *position.beatsPerBar > 0.0) {
    beatsPerBar_ = *position.beatsPerBar;
  }
  double stated = before;
  if (position.bar || position.barBeat) {
    const double bar = position.bar ? static_cast<double>(*position.bar)
                                    : std::floor(before / beatsPerBar_ + kOnTheBeat);
    stated = bar * beatsPerBar_ + position.barBeat.value_or(0.0);
  }
  rolling_ = speed_ > 0.0;
  const bool jumped = !wasRolling || std::abs(stated - before) > kJump;
  if (!rolling_ || jumped) {
    anchorFrame_ = frame;
    anchorBeat_ = stated;
  } else if (BeatsPerFrame() != previousBeatsPerFrame) {
    // The stated beat is a float (in some hosts rounded to a tick as well),
    // the frames and the tempo are exact: a host restating where it is only
    // confirms the count, which goes on from where it had got to.
    anchorFrame_ = frame;
    anchorBeat_ = before;
  }
  if (!rolling_) {
    return wasRolling;
  }
  if (jumped) {
    nextIsFresh_ = std::abs(stated) < kOnTheBeat;
    countedFor_ = 0;  // counted anew from here
  }
  return false;
}

void HostTime::AimAtBoundaryFrom(double beat, int beatsPerChord) {
  const double n = static_cast<double>(beatsPerChord);
  nextBeat_ = std::ceil(beat / n - kOnTheBeat) * n;
  countedFor_ = beatsPerChord;
}

std::optional<Boundary> HostTime::NextBoundary(std::int64_t from, std::int64_t to,
                                               int beatsPerChord) {
  if (!rolling_ || from >= to) {
    return std::nullopt;
  }
  if (countedFor_ != beatsPerChord) {
    // A new count (a roll, a jump) starts at its own position; another chord
    // length counts on from where the music is.
    AimAtBoundaryFrom(countedFor_ == 0 ? anchorBeat_ : BeatAt(from), beatsPerChord);
  }
  const double exact =
      static_cast<double>(anchorFrame_) + (nextBeat_ - anchorBeat_) / BeatsPerFrame();
  const auto frame = std::max(from, static_cast<std::int64_t>(std::ceil(exact - kOnTheFrame)));
  if (frame >= to) {
    return std::nullopt;
  }
  return Boundary{frame, nextIsFresh_ && std::abs(nextBeat_) < kOnTheBeat};
}

void HostTime::Passed() {
  nextBeat_ += static_cast<double>(countedFor_);
  nextIsFresh_ = false;
}

}  // namespace sonavela::timing
