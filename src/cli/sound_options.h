// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options of how the chords sound and in which key they go: --voicing,
// --register, --channel, --bass-channel, --velocity, --pattern, --humanize,
// --soundfont, --gain, --reverb, --chorus and --key.

#include <optional>
#include <string_view>

#include "cli/parsed_options.h"

namespace sonavela::cli {

// Whether `name` is one of these options taking a value; std::nullopt when
// it is none of them.
[[nodiscard]] std::optional<bool> SoundOptionTakesValue(std::string_view name);

// Sets the option `name` (one of these) from `value`.
Status ApplySoundOption(std::string_view name, std::string_view value, Options& options);

}  // namespace sonavela::cli
