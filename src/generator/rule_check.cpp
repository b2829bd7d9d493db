// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/rule_check.h"

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <string_view>

#include "generator/printable.h"
#include "generator/rules.h"
#include "generator/search.h"
#include "harmony/chord.h"
#include "harmony/names.h"

namespace sonavela::generator {

namespace {

constexpr std::size_t kModeColumn = 9;
constexpr std::size_t kBodyColumn = 10;

bool IsDegree(char c) {
  return c >= '1' && c <= '7';
}

std::string Shown(char c) {
  if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
    return "a byte that is no letter";
  }
  return std::string("'") + c + "'";
}

// The rules as LoadRules takes them, with the line each came from.
struct Loaded {
  std::vector<ConnectionRule> connection;
  std::vector<std::size_t> connectionLine;
  std::vector<SubstitutionRule> substitution;
  std::vector<std::size_t> substitutionLine;
};

class LineChecker {
 public:
  explicit LineChecker(std::vector<RuleFinding>& findings) : findings_(findings) {}

  void Warn(RuleTable table, std::size_t line, FindingKind kind, std::string subject,
            std::string message) {
    findings_.push_back({FindingLevel::kWarning, table, line, kind, std::move(subject),
                         std::nullopt, std::move(message)});
  }

  // The mode, the weight and the capacity, which both tables share; false
  // when the line is no rule at all.
  bool Common(RuleTable table, std::size_t line, std::string_view text, std::size_t shortest,
              std::size_t loaded, std::int32_t weight) {
    if (text.size() < shortest) {
      Warn(table, line, FindingKind::kTooShort, {}, "too short to be a rule: the line is skipped");
      return false;
    }
    if (loaded >= RuleCapacity) {
      Warn(table, line, FindingKind::kBeyondCapacity, {},
           "beyond the first 1000 rules of the table: ignored");
      return false;
    }
    const char mode = text[kModeColumn];
    if (mode != ' ' && mode != 'm' && mode != '?') {
      Warn(table, line, FindingKind::kBadMode, Shown(mode),
           "the mode " + Shown(mode) +
               " matches no key (a blank for major keys, m for minor, ? for both)");
    }
    if (EffectiveWeight(weight) == 0) {
      Warn(table, line, FindingKind::kZeroWeight, {}, "weight 0: the rule is never chosen");
    }
    return true;
  }

 private:
  std::vector<RuleFinding>& findings_;
};

Loaded LoadAndCheckLines(const RuleTables& tables, std::vector<RuleFinding>& findings,
                         std::set<std::pair<RuleTable, std::size_t>>& dead) {
  Loaded loaded;
  LineChecker checker(findings);
  for (std::size_t i = 0; i < tables.connection.size(); ++i) {
    const std::string_view text = RemoveTrailingWhiteSpace(tables.connection[i]);
    const std::optional<ConnectionRule> rule = ParseConnectionRule(text);
    const std::size_t before = findings.size();
    if (!checker.Common(RuleTable::kConnection, i, text, kMinConnectionLineLength,
                        loaded.connection.size(), rule ? rule->Weight : 0)) {
      continue;
    }
    std::string_view body = text.substr(kBodyColumn);
    // A digit at the end is a degree meant, whatever the parser makes of it.
    const bool digitLast = body.back() >= '0' && body.back() <= '9';
    if (!IsDegree(body.back()) && !digitLast) {
      const char correction = body.back();
      if (correction != 'M' && correction != 'm' && correction != 'n') {
        checker.Warn(RuleTable::kConnection, i, FindingKind::kBadCorrection, Shown(correction),
                     Shown(correction) + " is no correction (M major, m minor, n Neapolitan)");
      }
      body.remove_suffix(1);
    }
    const auto stray = std::find_if_not(body.begin(), body.end(), IsDegree);
    if (stray != body.end()) {
      checker.Warn(RuleTable::kConnection, i, FindingKind::kBadDegree, Shown(*stray),
                   Shown(*stray) + " is no degree (1 to 7)");
    } else if (ChainLength(*rule) < 2) {
      checker.Warn(RuleTable::kConnection, i, FindingKind::kShortChain, {},
                   "a chain needs two degrees at least: the chord it starts from and one after");
    }
    if (findings.size() != before) {
      dead.insert({RuleTable::kConnection, i});
    }
    loaded.connection.push_back(*rule);
    loaded.connectionLine.push_back(i);
  }
  for (std::size_t i = 0; i < tables.substitution.size(); ++i) {
    const std::string_view text = RemoveTrailingWhiteSpace(tables.substitution[i]);
    const std::optional<SubstitutionRule> rule = ParseSubstitutionRule(text);
    const std::size_t before = findings.size();
    if (!checker.Common(RuleTable::kSubstitution, i, text, kMinSubstitutionLineLength,
                        loaded.substitution.size(), rule ? rule->Weight : 0)) {
      continue;
    }
    for (const char degree : text.substr(kBodyColumn, 2)) {
      if (!IsDegree(degree)) {
        checker.Warn(RuleTable::kSubstitution, i, FindingKind::kBadDegree, Shown(degree),
                     Shown(degree) + " is no degree (1 to 7)");
        break;
      }
    }
    if (findings.size() != before) {
      dead.insert({RuleTable::kSubstitution, i});
    }
    loaded.substitution.push_back(*rule);
    loaded.substitutionLine.push_back(i);
  }
  return loaded;
}

// The step's record byte by byte, so that steps sort as they always have.
std::string StepKey(const ProgressionStep& step) {
  std::string key;
  const auto put = [&](std::int32_t value) {
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
  };
  const auto putNote = [&](harmony::SpelledNote note) {
    key += note.letter;
    put(note.accidental);
  };
  putNote(step.key.tonic);
  key += step.key.mode;
  putNote(step.chord.root);
  put(step.chord.type.kind);
  for (const harmony::Interval tone : step.chord.type.tones) {
    put(tone.steps);
    put(tone.delta);
  }
  return key;
}

std::string Where(const ProgressionStep& step) {
  return harmony::ChordName(step.chord) + " (" + harmony::ChordToneNames(step.chord) + ") in " +
         harmony::KeyName(step.key);
}

}  // namespace

bool RuleCheck::HasWarnings() const {
  return std::any_of(findings.begin(), findings.end(), [](const RuleFinding& finding) {
    return finding.level == FindingLevel::kWarning;
  });
}

RuleCheck CheckRules(const RuleTables& tables, harmony::Key home,
                     const std::function<bool()>& stop) {
  RuleCheck check;
  std::set<std::pair<RuleTable, std::size_t>> dead;
  const Loaded loaded = LoadAndCheckLines(tables, check.findings, dead);
  const SearchTables searched{loaded.connection, loaded.substitution, home};
  const ReachedStates reach = ProgressionSearch().Reach(searched, stop);
  if (reach.stopped) {
    check.stopped = true;
    return check;
  }
  // In the order of their names' bytes, as the findings have always listed them.
  const auto byName = [](const ProgressionStep& a, const ProgressionStep& b) {
    return StepKey(a) < StepKey(b);
  };
  std::map<std::string, ProgressionStep> reached;
  for (const ProgressionStep& step : reach.steps)
    reached.emplace(StepKey(step), step);
  for (const auto& [key, step] : reached)
    check.reached.push_back(step);
  std::vector<ReachedStates::Trap> traps = reach.traps;
  std::sort(traps.begin(), traps.end(),
            [&](const auto& a, const auto& b) { return byName(a.at, b.at); });
  const std::string homeName = harmony::KeyName(home);
  std::vector<RuleFinding> ofHome;
  for (const ReachedStates::Trap& trap : traps) {
    check.traps.push_back(trap.at);
    for (const std::size_t c : trap.ledInBy) {
      ofHome.push_back({FindingLevel::kWarning, RuleTable::kConnection, loaded.connectionLine[c],
                        FindingKind::kTrap, Where(trap.at), trap.at,
                        "ends on " + Where(trap.at) +
                            ", which no substitution rule continues from: the progression "
                            "repeats it until Stop"});
    }
  }
  if (reach.tonicStuck) {
    ofHome.push_back({FindingLevel::kWarning, RuleTable::kSubstitution, std::nullopt,
                      FindingKind::kStuckTonic, homeName, std::nullopt,
                      "no rule leads on from the tonic of " + homeName +
                          ": the progression repeats it until Stop"});
  }
  if (reach.heaviest > std::numeric_limits<std::int32_t>::max() && reach.heaviestAt) {
    const std::string sum = std::to_string(reach.heaviest);
    ofHome.push_back({FindingLevel::kWarning, RuleTable::kSubstitution, std::nullopt,
                      FindingKind::kOverflow, sum, reach.heaviestAt,
                      "the weights of one choice add up to " + sum + " at " +
                          Where(*reach.heaviestAt) + ", more than 2147483647"});
  }
  for (std::size_t c = 0; c < loaded.connection.size(); ++c) {
    if (!reach.connectionDrawn[c] &&
        !dead.count({RuleTable::kConnection, loaded.connectionLine[c]})) {
      ofHome.push_back({FindingLevel::kNote, RuleTable::kConnection, loaded.connectionLine[c],
                        FindingKind::kUnreached, homeName, std::nullopt,
                        "never reached from the home key " + homeName});
    }
  }
  for (std::size_t s = 0; s < loaded.substitution.size(); ++s) {
    if (!reach.substitutionDrawn[s] &&
        !dead.count({RuleTable::kSubstitution, loaded.substitutionLine[s]})) {
      ofHome.push_back({FindingLevel::kNote, RuleTable::kSubstitution, loaded.substitutionLine[s],
                        FindingKind::kUnreached, homeName, std::nullopt,
                        "never reached from the home key " + homeName});
    }
  }
  const auto order = [](const RuleFinding& a, const RuleFinding& b) {
    return std::make_pair(a.table, a.line.value_or(std::numeric_limits<std::size_t>::max())) <
           std::make_pair(b.table, b.line.value_or(std::numeric_limits<std::size_t>::max()));
  };
  std::stable_sort(ofHome.begin(), ofHome.end(), order);
  check.findings.insert(check.findings.end(), ofHome.begin(), ofHome.end());
  return check;
}

std::string EnglishLine(const RuleFinding& finding, std::string_view name,
                        const RuleLineNumbers& lines) {
  std::string line = Printable(name);
  if (finding.line) {
    const auto& numbers =
        finding.table == RuleTable::kConnection ? lines.connection : lines.substitution;
    line += ':';
    line +=
        std::to_string(*finding.line < numbers.size() ? numbers[*finding.line] : *finding.line + 1);
  }
  line += finding.level == FindingLevel::kWarning ? ": warning: " : ": note: ";
  line += finding.message;
  return line;
}

}  // namespace sonavela::generator
