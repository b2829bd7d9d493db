// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "cli/parsed_options.h"

namespace sonavela::cli {

// `args` excludes the program name. Accepts "--name value" and "--name=value".
Result<Options> ParseOptions(std::span<const std::string_view> args);

[[nodiscard]] std::string_view SyncName(Sync sync);
[[nodiscard]] std::string HelpText();
// The name and version, then the licence.
[[nodiscard]] std::string VersionText();

}  // namespace sonavela::cli
