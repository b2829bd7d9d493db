#include "playback/chord_clock.h"

#include <algorithm>
#include <utility>

namespace sonavela::playback {

GridClock::GridClock(std::chrono::nanoseconds period, TimeSource now)
    : period_(std::max(period, std::chrono::nanoseconds::zero())),
      now_(now ? std::move(now) : [] { return midi::MidiClock::now(); }) {}

Timestamp GridClock::Start() {
  origin_ = Now();
  index_ = 0;
  return origin_;
}

Timestamp GridClock::Next() {
  // Read after the chord was planned, so that a search slower than the
  // period skips the deadlines it overran instead of firing them in a burst.
  const Timestamp now = Now();
  if (period_ == std::chrono::nanoseconds::zero()) {
    ++index_;
    return now;
  }
  std::int64_t next = index_ + 1;
  if (now > origin_ + next * period_) {
    next = (now - origin_) / period_ + 1;
  }
  index_ = next;
  return origin_ + next * period_;
}

Timestamp OfflineClock::Start() {
  next_ = now_ + period_;
  return now_;
}

Timestamp OfflineClock::Next() {
  const Timestamp due = next_;
  next_ += period_;
  return due;
}

void OfflineClock::WaitedUntil(Timestamp time) {
  now_ = std::max(now_, time);
}

}  // namespace sonavela::playback
