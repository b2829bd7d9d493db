// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What is wrong with a pair of rule tables, found before they play: rules
// that can never match anything, rules the progression never reaches from a
// home key, chords it can only repeat once it is there, and weights whose sum
// in one choice outgrows a signed 32-bit number.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "generator/plan.h"
#include "generator/rule_file.h"
#include "harmony/note.h"

namespace sonavela::generator {

enum class FindingLevel {
  kWarning,  // can never work: a dead rule, a trap, an overflowing choice
  kNote,     // cannot work from this home key; may be meant for another
};

enum class RuleTable { kConnection, kSubstitution };

// What a finding is about, for a front end that words it in its own language.
enum class FindingKind {
  kTooShort,        // no rule at all: the line is skipped
  kBeyondCapacity,  // after the first 1000 rules of its table
  kBadMode,         // subject: the mode character
  kZeroWeight,
  kBadCorrection,  // subject: the correction character
  kBadDegree,      // subject: the degree character
  kShortChain,     // fewer than two degrees
  kTrap,           // subject: the chord, its tones and its key ("B? (B D# F) in C")
  kStuckTonic,     // no rule leads on from the tonic
  kOverflow,       // subject: the sum
  kUnreached,      // subject: the home key
};

struct RuleFinding {
  FindingLevel level = FindingLevel::kWarning;
  RuleTable table = RuleTable::kConnection;
  // The rule's line in its table, from 0; none for the tables as a whole.
  std::optional<std::size_t> line;
  FindingKind kind = FindingKind::kTooShort;
  std::string subject;
  // The chord a trap or the heaviest choice is at.
  std::optional<ProgressionStep> at;
  std::string message;  // in English, as the command line prints it

  friend bool operator==(const RuleFinding&, const RuleFinding&) = default;
};

struct RuleCheck {
  // Those of the rule lines themselves first, in table and line order, then
  // those of the home key, in the same order.
  std::vector<RuleFinding> findings;
  // Every (key, chord) the progression can play from the home key, and those
  // of them it can only repeat until Stop.
  std::vector<ProgressionStep> reached;
  std::vector<ProgressionStep> traps;
  // Cut short on request: what was found up to then, which is not all.
  bool stopped = false;

  [[nodiscard]] bool HasWarnings() const;
};

// Checks the tables as LoadRules would load them, for the progression that
// starts from `home`. Exact: what the progression's own search can reach, every
// (key, chord, chord before, steps from home) a weighted choice leads to, is
// worked out from its indexes (ProgressionSearch::Reach) in milliseconds even
// for full tables. `stop`, asked now and then, cuts a long check short.
[[nodiscard]] RuleCheck CheckRules(const RuleTables& tables, harmony::Key home,
                                   const std::function<bool()>& stop = {});

// A finding as the command line prints it and the plugin logs it:
// "rules.txt:8: warning: ends on ...", "rules.txt: note: ..." for the tables
// as a whole. `lines` numbers the rules in the file named `name`.
[[nodiscard]] std::string EnglishLine(const RuleFinding& finding, std::string_view name,
                                      const RuleLineNumbers& lines);

}  // namespace sonavela::generator
