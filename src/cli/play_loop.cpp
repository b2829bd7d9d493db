#include "cli/play_loop.h"

namespace sonavela::cli {

void RunPlayLoop(playback::PlaybackControl& control, ScheduleTimer& timer, StopSignal& stop,
                 const std::function<bool()>& done) {
  playback::TickSchedule& schedule = timer.Schedule();
  while (timer.Armed() && !stop.Requested()) {
    if (stop.WaitUntil(schedule.NextDeadline())) {
      break;
    }
    // Checked only now, so that the last chord sounds for its whole interval.
    if (done()) {
      break;
    }
    control.Tick(playback::kStepTimerId);
    // Taken after the tick, so that a search slower than the period skips
    // the deadlines it overran instead of firing them in a burst.
    schedule.TickHandled(playback::TickSchedule::Clock::now());
  }
}

}  // namespace sonavela::cli
