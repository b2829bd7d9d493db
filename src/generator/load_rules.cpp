// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/load_rules.h"

namespace sonavela::generator {

namespace {

constexpr harmony::Key kCMajor{{'C', 0}, harmony::kMajor};
constexpr harmony::Key kAMinor{{'A', 0}, harmony::kMinor};

// The chain of a connection line holds more degrees than a rule can.
bool ChainTooLong(std::string_view line) {
  if (line.size() < kMinConnectionLineLength)
    return false;
  const char last = line.back();
  const std::size_t degrees = line.size() - 10 - (last >= '1' && last <= '7' ? 0 : 1);
  return degrees > kMaxChainDegrees;
}

template <typename Parse, typename Add, typename Check>
void LoadLines(std::span<const std::string> lines, Parse parse, Add add, Check check,
               std::size_t& shortLines, std::size_t& ignoredRules) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = RemoveTrailingWhiteSpace(lines[i]);
    check(line);
    const auto rule = parse(line);
    if (!rule) {
      ++shortLines;
    } else if (!add(*rule)) {
      ++ignoredRules;
    }
  }
}

LoadReport Load(ProgressionGenerator& generator, std::span<const std::string> connectionLines,
                std::span<const std::string> substitutionLines, bool minorKey) {
  LoadReport report;
  generator.ClearRules();
  generator.SetHomeKey(minorKey ? kAMinor : kCMajor);
  LoadLines(
      connectionLines, [](std::string_view line) { return ParseConnectionRule(line); },
      [&](const ConnectionRule& rule) { return generator.AddConnectionRule(rule); },
      [&](std::string_view line) { report.cutConnectionChains += ChainTooLong(line) ? 1 : 0; },
      report.shortConnectionLines, report.ignoredConnectionRules);
  LoadLines(
      substitutionLines, [](std::string_view line) { return ParseSubstitutionRule(line); },
      [&](const SubstitutionRule& rule) { return generator.AddSubstitutionRule(rule); },
      [](std::string_view) {}, report.shortSubstitutionLines, report.ignoredSubstitutionRules);
  return report;
}

}  // namespace

LoadReport LoadRules(ProgressionGenerator& generator, std::span<const std::string> connectionLines,
                     std::span<const std::string> substitutionLines, bool minorKey) {
  return Load(generator, connectionLines, substitutionLines, minorKey);
}

LoadReport LoadRules(ProgressionGenerator& generator, const RuleTables& tables, bool minorKey) {
  return Load(generator, tables.connection, tables.substitution, minorKey);
}

}  // namespace sonavela::generator
