// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rule checker's findings as the command line prints them:
// "rules.txt:8: warning: ends on ...", "rules.txt: warning: ..." for the
// tables as a whole.

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <span>
#include <string>
#include <vector>

#include "cli/terminal.h"
#include "generator/rule_file.h"
#include "harmony/note.h"

namespace sonavela::cli {

// Rule tables with where their lines come from.
struct NamedTables {
  std::string name;  // the file as the user named it
  generator::RuleTables tables;
  generator::RuleLineNumbers lines;
};

struct FindingLines {
  std::vector<std::string> lines;  // each once, the lines' own findings first
  std::size_t warnings = 0;
  bool stopped = false;  // cut short: the lines are not all there are
};

// The findings for each of `homes`; notes only when `withNotes`. `stop` cuts
// a long check short.
[[nodiscard]] FindingLines CheckedLines(const NamedTables& tables,
                                        std::span<const harmony::Key> homes, bool withNotes,
                                        const std::function<bool()>& stop = {});

// The warnings of the key that plays, found beside the playing so that the
// first chord never waits for them, and printed once ready: a screenful at
// most. Cancelled when it goes out of scope.
class BackgroundCheck {
 public:
  BackgroundCheck(NamedTables tables, harmony::Key home, std::function<bool()> stop);
  ~BackgroundCheck();
  BackgroundCheck(const BackgroundCheck&) = delete;
  BackgroundCheck& operator=(const BackgroundCheck&) = delete;

  // Prints the warnings to `err` if they are ready within `patience`; once.
  void PrintWhenReady(FdWriter& err, std::chrono::nanoseconds patience = {});
  // Says so if the run ended before they were.
  void PrintIfNeverReady(FdWriter& err);

 private:
  std::atomic<bool> cancelled_{false};
  std::future<FindingLines> found_;
  bool printed_ = false;
};

// The default tables, numbered as --print-rules prints them.
[[nodiscard]] NamedTables DefaultNamedTables();

}  // namespace sonavela::cli
