// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/rule_check.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <map>
#include <set>
#include <string_view>

#include "generator/rules.h"
#include "generator/search.h"
#include "generator/search_impl.h"
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

void Put(std::string& key, std::int32_t value) {
  key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void Put(std::string& key, harmony::SpelledNote note) {
  key += note.letter;
  Put(key, note.accidental);
}

void Put(std::string& key, const harmony::Chord& chord) {
  Put(key, chord.root);
  Put(key, chord.type.kind);
  for (const harmony::Interval tone : chord.type.tones) {
    Put(key, tone.steps);
    Put(key, tone.delta);
  }
}

std::string StepKey(const ProgressionStep& step) {
  std::string key;
  Put(key, step.key.tonic);
  key += step.key.mode;
  Put(key, step.chord);
  return key;
}

// Where the progression is between two searches: what the next one reads.
struct State {
  ProgressionStep current;
  harmony::Chord previous;
  std::int32_t depth = 0;

  [[nodiscard]] std::string Key() const {
    std::string key = StepKey(current);
    Put(key, previous);
    Put(key, depth);
    return key;
  }
};

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
  ProgressionSearch search;

  // The start, as the generator sets it up: the tonic, with no key
  // established yet for the search.
  const ProgressionStep tonic{home, harmony::BuildChordOnDegree(home, 1)};
  State start{tonic, harmony::Chord{}, 0};
  start.current.key.tonic.letter = ' ';

  std::map<std::string, ProgressionStep> reached{{StepKey(tonic), tonic}};
  std::set<std::string> seen{start.Key()};
  std::deque<State> waiting{start};
  std::set<std::size_t> usedConnection;
  std::set<std::size_t> usedSubstitution;
  // The traps, and the connection rules whose chains end on each.
  std::map<std::string, std::pair<ProgressionStep, std::set<std::size_t>>> traps;
  std::int64_t heaviest = 0;
  std::optional<ProgressionStep> heaviestAt;
  bool tonicTrapped = false;

  // Which rules led into each state, for the traps found there.
  std::map<std::string, std::set<std::size_t>> ledInBy;
  while (!waiting.empty()) {
    if (stop && stop()) {
      check.stopped = true;
      return check;
    }
    const State state = waiting.front();
    waiting.pop_front();
    const std::vector<RuledPlan> candidates =
        search.Candidates(searched, state.depth, state.previous, state.current);
    std::int64_t total = 0;
    for (const RuledPlan& candidate : candidates) {
      total = search_detail::SaturatingAdd(total, candidate.plan.Weight);
    }
    if (total > heaviest) {
      heaviest = total;
      heaviestAt = state.current;
    }
    if (total == 0) {
      if (state.current.key.tonic.letter == ' ') {
        tonicTrapped = true;
      } else {
        auto& trap = traps[StepKey(state.current)];
        trap.first = state.current;
        const auto& into = ledInBy[state.Key()];
        trap.second.insert(into.begin(), into.end());
      }
      continue;
    }
    for (const RuledPlan& candidate : candidates) {
      if (candidate.plan.Weight <= 0) {
        continue;  // never drawn
      }
      usedConnection.insert(candidate.connection);
      usedSubstitution.insert(candidate.substitution);
      for (const ProgressionStep& step : candidate.plan.Steps) {
        reached.emplace(StepKey(step), step);
      }
      const ProgressionStep& last = candidate.plan.Steps.back();
      const auto steps = static_cast<std::int32_t>(candidate.plan.Steps.size());
      const State next{last, state.current.chord, last.key == home ? 0 : state.depth + steps};
      const std::string key = next.Key();
      ledInBy[key].insert(candidate.connection);
      if (seen.insert(key).second) {
        waiting.push_back(next);
      }
    }
  }

  for (const auto& [key, step] : reached) {
    check.reached.push_back(step);
  }
  const std::string homeName = harmony::KeyName(home);
  std::vector<RuleFinding> ofHome;
  for (const auto& [key, trap] : traps) {
    check.traps.push_back(trap.first);
    for (const std::size_t c : trap.second) {
      ofHome.push_back({FindingLevel::kWarning, RuleTable::kConnection, loaded.connectionLine[c],
                        FindingKind::kTrap, Where(trap.first), trap.first,
                        "ends on " + Where(trap.first) +
                            ", which no substitution rule continues from: the progression "
                            "repeats it until Stop"});
    }
  }
  if (tonicTrapped) {
    ofHome.push_back({FindingLevel::kWarning, RuleTable::kSubstitution, std::nullopt,
                      FindingKind::kStuckTonic, homeName, std::nullopt,
                      "no rule leads on from the tonic of " + homeName +
                          ": the progression repeats it until Stop"});
  }
  if (heaviest > std::numeric_limits<std::int32_t>::max() && heaviestAt) {
    ofHome.push_back({FindingLevel::kWarning, RuleTable::kSubstitution, std::nullopt,
                      FindingKind::kOverflow, std::to_string(heaviest), heaviestAt,
                      "the weights of one choice add up to " + std::to_string(heaviest) + " at " +
                          Where(*heaviestAt) + ", more than 2147483647"});
  }
  for (std::size_t c = 0; c < loaded.connection.size(); ++c) {
    if (!usedConnection.count(c) &&
        !dead.count({RuleTable::kConnection, loaded.connectionLine[c]})) {
      ofHome.push_back({FindingLevel::kNote, RuleTable::kConnection, loaded.connectionLine[c],
                        FindingKind::kUnreached, homeName, std::nullopt,
                        "never reached from the home key " + homeName});
    }
  }
  for (std::size_t s = 0; s < loaded.substitution.size(); ++s) {
    if (!usedSubstitution.count(s) &&
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

}  // namespace sonavela::generator
