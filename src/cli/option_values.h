// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/parsed_options.h"

namespace sonavela::cli {

// Digits with an optional decimal fraction ("120", "92.5"); no sign, no
// exponent, nothing after it.
[[nodiscard]] std::optional<double> ParseDecimal(std::string_view text, double min, double max);

// Digits only: no sign, no blanks, no trailing text, no overflow.
[[nodiscard]] std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t min,
                                                       std::uint64_t max);

// "a, b, c": the names a value may take, as a refusal lists them.
[[nodiscard]] std::string NameList(std::span<const std::string_view> names);

[[nodiscard]] Error BadNumber(std::string_view option, std::string_view text, std::uint64_t min,
                              std::uint64_t max);

}  // namespace sonavela::cli
