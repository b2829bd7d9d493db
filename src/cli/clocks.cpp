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
  return timing::MakeClock(settings, options.Meter());
}

std::string ClockRefusal(const Options& options, const Error& why) {
  return options.sync == Sync::kMidiClock
             ? "--clock-from " + options.clockFrom.value_or(std::string()) + ": " +
                   EnglishText(why) + "; see --list-inputs"
             : "--sync " + std::string(SyncName(options.sync)) + ": " + EnglishText(why);
}

}  // namespace sonavela::cli
