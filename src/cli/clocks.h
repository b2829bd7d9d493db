// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/options.h"
#include "timing/clock_factory.h"
#include "timing/sync_settings.h"

namespace sonavela::cli {

using timing::ClockChoice;

// The clock of --sync, on the grid of --tempo and --beats-per-chord (or
// --interval); the error is a line for the user.
[[nodiscard]] ClockChoice MakeClock(const Options& options);

}  // namespace sonavela::cli
