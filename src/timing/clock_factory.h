// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "timing/chord_clock.h"
#include "timing/midi_input.h"
#include "timing/sync_settings.h"

namespace sonavela::timing {

// The clock the settings name: the program's own grid `grid`, or the master
// to follow, to which the grid's tempo is proposed where it has none. The
// error, when there is no clock, is a clause ("no JACK server is running");
// for a MIDI clock it names the input.
ClockChoice MakeClock(const SyncSettings& settings, Meter grid);

// The MIDI inputs a MIDI clock can come from, and why whole kinds of inputs
// are missing, as the program's own client lists them.
[[nodiscard]] timing::InputListing ListClockInputs();

}  // namespace sonavela::timing
