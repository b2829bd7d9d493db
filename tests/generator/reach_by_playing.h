// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything the progression can reach, found the slow way: every state
// (key, chord, chord before, steps from home) that a weighted choice leads
// to, each asked of the search as the generator asks it. What the search's
// own Reach must agree with.

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <string>

#include "generator/search.h"
#include "harmony/chord.h"

namespace sonavela::generator::testing {

// A step's record byte by byte: equal records, equal strings.
inline std::string RecordOf(const ProgressionStep& step) {
  std::string text;
  const auto put = [&](std::int32_t value) { text += std::to_string(value) + ','; };
  text += step.key.tonic.letter;
  put(step.key.tonic.accidental);
  text += step.key.mode;
  text += step.chord.root.letter;
  put(step.chord.root.accidental);
  put(step.chord.type.kind);
  for (const harmony::Interval tone : step.chord.type.tones) {
    put(tone.steps);
    put(tone.delta);
  }
  return text;
}

// `heaviestAt`, when given, gets every step whose choice weighs the most.
inline ReachedStates ReachByPlaying(const SearchTables& tables,
                                    std::set<std::string>* heaviestAt = nullptr) {
  struct State {
    ProgressionStep current;
    harmony::Chord previous;
    std::int32_t depth = 0;
    [[nodiscard]] std::string Key() const {
      return RecordOf(current) + RecordOf({{}, previous}) + std::to_string(depth);
    }
  };
  ReachedStates reach;
  reach.connectionDrawn.assign(tables.connection.size(), false);
  reach.substitutionDrawn.assign(tables.substitution.size(), false);
  ProgressionSearch search;
  const ProgressionStep tonic{tables.home, harmony::BuildChordOnDegree(tables.home, 1)};
  State start{tonic, harmony::Chord{}, 0};
  start.current.key.tonic.letter = ' ';  // no key established yet
  std::map<std::string, ProgressionStep> reached{{RecordOf(tonic), tonic}};
  std::set<std::string> seen{start.Key()};
  std::deque<State> waiting{start};
  std::map<std::string, std::set<std::size_t>> ledInBy;
  std::map<std::string, ReachedStates::Trap> traps;
  while (!waiting.empty()) {
    const State state = waiting.front();
    waiting.pop_front();
    const std::vector<RuledPlan> candidates =
        search.Candidates(tables, state.depth, state.previous, state.current);
    std::int64_t total = 0;
    for (const RuledPlan& candidate : candidates)
      total = total > INT64_MAX - candidate.plan.Weight ? INT64_MAX : total + candidate.plan.Weight;
    const ProgressionStep at = state.current.key.tonic.letter == ' ' ? tonic : state.current;
    if (total > reach.heaviest) {
      reach.heaviest = total;
      reach.heaviestAt = at;
      if (heaviestAt)
        heaviestAt->clear();
    }
    if (total == reach.heaviest && heaviestAt)
      heaviestAt->insert(RecordOf(at));
    if (total == 0) {
      if (state.current.key.tonic.letter == ' ') {
        reach.tonicStuck = true;
      } else {
        ReachedStates::Trap& trap = traps[RecordOf(state.current)];
        trap.at = state.current;
        const std::set<std::size_t>& into = ledInBy[state.Key()];
        trap.ledInBy.insert(trap.ledInBy.end(), into.begin(), into.end());
      }
      continue;
    }
    for (const RuledPlan& candidate : candidates) {
      if (candidate.plan.Weight <= 0)
        continue;
      reach.connectionDrawn[candidate.connection] = true;
      reach.substitutionDrawn[candidate.substitution] = true;
      for (const ProgressionStep& step : candidate.plan.Steps)
        reached.emplace(RecordOf(step), step);
      const ProgressionStep& last = candidate.plan.Steps.back();
      const auto steps = static_cast<std::int32_t>(candidate.plan.Steps.size());
      const State next{last, state.current.chord,
                       last.key == tables.home ? 0 : state.depth + steps};
      ledInBy[next.Key()].insert(candidate.connection);
      if (seen.insert(next.Key()).second)
        waiting.push_back(next);
    }
  }
  for (const auto& [record, step] : reached)
    reach.steps.push_back(step);
  for (auto& [record, trap] : traps) {
    std::sort(trap.ledInBy.begin(), trap.ledInBy.end());
    trap.ledInBy.erase(std::unique(trap.ledInBy.begin(), trap.ledInBy.end()), trap.ledInBy.end());
    reach.traps.push_back(trap);
  }
  return reach;
}

}  // namespace sonavela::generator::testing
