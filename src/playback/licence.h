// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace sonavela::playback {

// What every program of the project says after its name and version, the GNU
// way of stating the licence.
inline constexpr std::string_view kLicenceNotice =
    "Copyright (C) 2026 The Sonavela developers\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

}  // namespace sonavela::playback
