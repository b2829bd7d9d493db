// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/rules.h"

#include <algorithm>
#include <limits>

namespace sonavela::generator {

const std::array<std::string_view, 16> DefaultConnectionRules{
    "  20     m11M", "  80     ?16",  "  20      16M", "  80     ?14",
    "  10      14m", "  40      62",  "  10     m62n", "  40     ?251",
    "  40     ?25",  "  20      44m", "  80     ?45",  "  20     m47",
    "  10     ?15",  "  80     ?51",  "  80     ?71",  "  80     ?56",
};

const std::array<std::string_view, 11> DefaultSubstitutionRules{
    "  40     ?11", "  40     ?22", "  40     ?33", "  40     ?44", "  40     ?55", "  40     ?66",
    "  40     ?77", "  80      24", "  80     m64", "  20     ?15", "  10      14",
};

namespace {

constexpr std::size_t kWeightColumns = 4;
constexpr std::size_t kModeColumn = 9;
constexpr std::size_t kFirstDegreeColumn = 10;

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The rule text holds single-byte characters; a byte above 127 counts as the
// negative code it has where char is signed, so the reading is the same on
// every platform.
std::int32_t DigitValue(char c) {
  return static_cast<signed char>(c) - '0';
}

bool IsChainDegree(char c) {
  return c >= '1' && c <= '7';
}

// Only the weight columns are read: reading on from the start of the line
// would take the degree digits of a major-mode rule for its weight.
std::int32_t ParseWeight(std::string_view line) {
  return ParseLeadingInt(line.substr(0, std::min(line.size(), kWeightColumns)));
}

}  // namespace

std::string_view RemoveTrailingWhiteSpace(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && IsWhiteSpace(text[end - 1]))
    --end;
  return text.substr(0, end);
}

std::int32_t ParseLeadingInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), kLimit + 1);
  }
  if (negative)
    return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(std::min(value, kLimit));
}

std::optional<ConnectionRule> ParseConnectionRule(std::string_view line) {
  if (line.size() < kMinConnectionLineLength)
    return std::nullopt;
  ConnectionRule rule;
  rule.Weight = ParseWeight(line);
  rule.Mode = line[kModeColumn];

  std::string_view body = line.substr(kFirstDegreeColumn);
  const char last = body.back();
  if (IsChainDegree(last)) {
    rule.Correction = ' ';
  } else {
    rule.Correction = last;
    body.remove_suffix(1);
  }
  const std::size_t count = std::min(body.size(), kMaxChainDegrees);
  for (std::size_t i = 0; i < count; ++i)
    rule.Degrees[i] = DigitValue(body[i]);
  rule.Degrees[count] = 0;
  return rule;
}

std::optional<SubstitutionRule> ParseSubstitutionRule(std::string_view line) {
  if (line.size() < kMinSubstitutionLineLength)
    return std::nullopt;
  SubstitutionRule rule;
  rule.Weight = ParseWeight(line);
  rule.Mode = line[kModeColumn];
  rule.FromDegree = DigitValue(line[kFirstDegreeColumn]);
  rule.ToDegree = DigitValue(line[kFirstDegreeColumn + 1]);
  return rule;
}

std::size_t ChainLength(const ConnectionRule& rule) {
  const auto end = std::find(rule.Degrees.begin(), rule.Degrees.end(), 0);
  return static_cast<std::size_t>(end - rule.Degrees.begin());
}

std::string FormatRuleLine(std::string_view weight, std::string_view ruleText) {
  weight = RemoveTrailingWhiteSpace(weight);
  ruleText = RemoveTrailingWhiteSpace(ruleText);
  weight = weight.substr(0, std::min(weight.size(), kWeightColumns));
  std::string line(kWeightColumns - weight.size(), ' ');
  line += weight;
  line += "     ";
  line += ruleText;
  return line;
}

}  // namespace sonavela::generator
