// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/options.h"
#include "timing/clock_factory.h"
#include "timing/sync_settings.h"

namespace sonavela::cli {

using timing::ClockChoice;

// The clock of --sync, on the grid of --tempo and --beats-per-chord (or
// --interval).
ClockChoice MakeClock(const Options& options);
// The line that says why there is no clock, naming the option to blame.
[[nodiscard]] std::string ClockRefusal(const Options& options, const Error& why);

}  // namespace sonavela::cli
