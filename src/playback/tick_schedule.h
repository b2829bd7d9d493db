#pragma once

#include <chrono>
#include <cstdint>

namespace sonavela::playback {

// Deadlines of a periodic tick on a fixed grid: start + k x period, k = 1, 2...
// Deadlines come from the grid, never from the time a tick was handled, so a
// slow handler or a busy machine cannot make the progression drift. A tick
// that comes late is not doubled: the deadlines it overran are skipped and the
// next one is the first grid point after it.
//
// No clock is read here; the caller passes the times in, which keeps the class
// usable from any event loop and testable without waiting.
class TickSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  // Puts the first deadline one period after `now`. A zero period means "as
  // fast as possible": every deadline is the moment the last tick was handled.
  void Start(Clock::time_point now, Clock::duration period);

  [[nodiscard]] Clock::time_point NextDeadline() const { return deadline_; }
  [[nodiscard]] Clock::duration Period() const { return period_; }
  // The grid index of NextDeadline (1 after Start).
  [[nodiscard]] std::int64_t NextIndex() const { return index_; }

  // Records that the tick due at NextDeadline was handled at `handled` and
  // moves to the first grid deadline later than both. Returns how many grid
  // deadlines were skipped because the tick came too late (0 when on time).
  std::int64_t TickHandled(Clock::time_point handled);

 private:
  Clock::time_point origin_{};
  Clock::duration period_{};
  Clock::time_point deadline_{};
  std::int64_t index_ = 0;
};

}  // namespace sonavela::playback
