#include "playback/tick_schedule.h"

#include <algorithm>

namespace sonavela::playback {

void TickSchedule::Start(Clock::time_point now, Clock::duration period) {
  origin_ = now;
  period_ = std::max(period, Clock::duration::zero());
  index_ = 1;
  deadline_ = origin_ + period_;
}

std::int64_t TickSchedule::TickHandled(Clock::time_point handled) {
  if (period_ == Clock::duration::zero()) {
    ++index_;
    deadline_ = std::max(handled, deadline_);
    return 0;
  }
  // A timer that fires a little early must not get the same deadline twice,
  // so the next deadline lies after the one just served as well.
  const Clock::time_point base = std::max(handled, deadline_);
  const std::int64_t next = (base - origin_) / period_ + 1;
  const std::int64_t skipped = next - index_ - 1;
  index_ = next;
  deadline_ = origin_ + next * period_;
  return skipped;
}

}  // namespace sonavela::playback
