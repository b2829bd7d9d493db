// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/rule_findings.h"

#include <algorithm>

#include "cli/output_files.h"
#include "generator/rule_check.h"

namespace sonavela::cli {

FindingLines CheckedLines(const NamedTables& tables, std::span<const harmony::Key> homes,
                          bool withNotes, const std::function<bool()>& stop) {
  FindingLines out;
  for (const harmony::Key home : homes) {
    const generator::RuleCheck check = generator::CheckRules(tables.tables, home, stop);
    if (check.stopped) {
      out.stopped = true;
      return out;
    }
    for (const generator::RuleFinding& finding : check.findings) {
      const bool warning = finding.level == generator::FindingLevel::kWarning;
      if (!warning && !withNotes) {
        continue;
      }
      const std::string line = generator::EnglishLine(finding, tables.name, tables.lines);
      // The findings of the lines themselves are the same from every key.
      if (std::find(out.lines.begin(), out.lines.end(), line) == out.lines.end()) {
        out.lines.push_back(line);
        out.warnings += warning ? 1 : 0;
      }
    }
  }
  return out;
}

BackgroundCheck::BackgroundCheck(NamedTables tables, harmony::Key home, std::function<bool()> stop)
    : found_(std::async(
          std::launch::async, [this, tables = std::move(tables), home, stop = std::move(stop)] {
            return CheckedLines(tables, std::span(&home, 1), false,
                                [&] { return cancelled_.load() || (stop && stop()); });
          })) {}

BackgroundCheck::~BackgroundCheck() {
  cancelled_ = true;  // the future's end waits for the check, which stops at once
}

void BackgroundCheck::PrintWhenReady(FdWriter& err, std::chrono::nanoseconds patience) {
  constexpr std::size_t kShown = 20;
  if (printed_ || found_.wait_for(patience) != std::future_status::ready) {
    return;
  }
  printed_ = true;
  const FindingLines found = found_.get();
  if (found.stopped) {
    return;
  }
  for (std::size_t i = 0; i < found.lines.size() && i < kShown; ++i) {
    Complain(err, found.lines[i]);
  }
  if (found.lines.size() > kShown) {
    Complain(err,
             std::to_string(found.lines.size() - kShown) + " more warnings (see --check-rules)");
  }
}

void BackgroundCheck::PrintIfNeverReady(FdWriter& err) {
  // A short run is worth a moment more for what the check has to say.
  constexpr std::chrono::seconds kLastWait{1};
  PrintWhenReady(err, kLastWait);
  if (!printed_) {
    Complain(err, "the rule check had not finished when the progression ended (see --check-rules)");
  }
}

NamedTables DefaultNamedTables() {
  const generator::RuleTables defaults = generator::DefaultRuleTables();
  const std::string text =
      generator::FormatRuleFile(defaults.connection, defaults.substitution).text;
  generator::RuleFileReading read = generator::ParseRuleFile(text, "default rules");
  return {"default rules", std::move(read.tables), std::move(read.lines)};
}

}  // namespace sonavela::cli
