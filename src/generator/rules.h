// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sonavela::generator {

inline constexpr std::size_t RuleCapacity = 1000;
inline constexpr std::size_t kDegreeSlots = 20;  // a chain holds at most 19 degrees
inline constexpr std::size_t kMaxChainDegrees = kDegreeSlots - 1;

// Shortest lines the fixed-column parsers can read (after trailing white
// space is removed): weight(4) + 5 blanks + mode + at least one/two digits.
inline constexpr std::size_t kMinConnectionLineLength = 11;
inline constexpr std::size_t kMinSubstitutionLineLength = 12;

// Chain of degrees inside one key, with an optional alteration of its last
// chord ('M' major, 'm' minor, 'n' Neapolitan, anything else none).
struct ConnectionRule {
  std::int32_t Weight = 0;
  char Mode = ' ';  // ' ' major, 'm' minor, '?' both; anything else matches no key
  std::array<std::int32_t, kDegreeSlots> Degrees{};  // ended by a 0
  char Correction = ' ';
};

// Re-reading of the current chord as another degree of some key.
struct SubstitutionRule {
  std::int32_t Weight = 0;
  char Mode = ' ';
  std::int32_t FromDegree = 0;
  std::int32_t ToDegree = 0;
};

extern const std::array<std::string_view, 16> DefaultConnectionRules;
extern const std::array<std::string_view, 11> DefaultSubstitutionRules;

// Removes blank, tab, LF, VT, FF and CR from the end only.
[[nodiscard]] std::string_view RemoveTrailingWhiteSpace(std::string_view text);

// C atoi semantics (leading white space, optional sign, digits), saturating
// instead of overflowing.
[[nodiscard]] std::int32_t ParseLeadingInt(std::string_view text);

// Both take a line whose trailing white space is already removed; std::nullopt
// when the line is too short for the fixed columns. Chains longer than 19
// degrees are cut to 19.
[[nodiscard]] std::optional<ConnectionRule> ParseConnectionRule(std::string_view line);
[[nodiscard]] std::optional<SubstitutionRule> ParseSubstitutionRule(std::string_view line);

// Number of degrees before the ending 0 (all 20 slots when none is 0).
[[nodiscard]] std::size_t ChainLength(const ConnectionRule& rule);

// The weight a rule carries in the choice: a negative weight counts as 0.
[[nodiscard]] constexpr std::int64_t EffectiveWeight(std::int32_t weight) {
  return weight < 0 ? 0 : weight;
}

// "%4.4s" of the weight, five blanks, the rule text; both inputs lose their
// trailing white space first.
[[nodiscard]] std::string FormatRuleLine(std::string_view weight, std::string_view ruleText);

}  // namespace sonavela::generator
