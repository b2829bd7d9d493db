// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/clocks.h"

#include <string>

namespace sonavela::cli {

ClockChoice MakeClock(const Options& options) {
  timing::SyncSettings settings;
  settings.beatsPerChord = options.beatsPerChord;
  settings.source = options.sync;
  settings.clockInput = options.clockFrom.value_or(std::string());
  settings.clockOut = options.clockOut;
  ClockChoice choice = timing::MakeClock(settings, options.Meter());
  if (!choice.clock) {
    choice.error =
        options.sync == Sync::kMidiClock
            ? "--clock-from " + settings.clockInput + ": " + choice.error + "; see --list-inputs"
            : "--sync " + std::string(SyncName(options.sync)) + ": " + choice.error;
  }
  return choice;
}

}  // namespace sonavela::cli
