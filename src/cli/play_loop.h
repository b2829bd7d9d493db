#pragma once

#include <functional>

#include "cli/adapters.h"
#include "cli/terminal.h"
#include "playback/playback_control.h"

namespace sonavela::cli {

// The command line's event loop after Start: sleeps on the steady clock until
// the timer's next deadline, then ticks, until a stop is requested or `done`
// says the last chord has had its interval. Does not call Stop.
void RunPlayLoop(playback::PlaybackControl& control, ScheduleTimer& timer, StopSignal& stop,
                 const std::function<bool()>& done);

}  // namespace sonavela::cli
