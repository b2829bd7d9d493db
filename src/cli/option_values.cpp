// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/option_values.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace sonavela::cli {

std::optional<double> ParseDecimal(std::string_view text, double min, double max) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  const auto digits = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (whole.empty() || !digits(whole) || !digits(fraction) ||
      (point != std::string_view::npos && fraction.empty())) {
    return std::nullopt;
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t min,
                                         std::uint64_t max) {
  if (text.empty()) {
    return std::nullopt;
  }
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
  }
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

Error BadNumber(std::string_view option, std::string_view text, std::uint64_t min,
                std::uint64_t max) {
  return UsageError(std::string(option) + ": '" + std::string(text) +
                    "' is not a whole number from " + std::to_string(min) + " to " +
                    std::to_string(max));
}

std::string NameList(std::span<const std::string_view> names) {
  std::string list;
  for (const std::string_view name : names) {
    list += (list.empty() ? "" : ", ") + std::string(name);
  }
  return list;
}

}  // namespace sonavela::cli
