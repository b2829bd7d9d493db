// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "generator/plan.h"
#include "generator/random_source.h"
#include "generator/rules.h"
#include "harmony/chord.h"
#include "harmony/note.h"

namespace sonavela::generator {

// What a search reads: the generator's rule tables and home key.
struct SearchTables {
  std::span<const ConnectionRule> connection;
  std::span<const SubstitutionRule> substitution;
  harmony::Key home;
};

// Applies a chain's correction to its last chord; nullopt when the
// correction's spelling test refuses the result ('m' and 'n').
[[nodiscard]] std::optional<harmony::Chord> ApplyCorrection(harmony::Chord chord, char correction);

// The pivot degree of `chord` heard in `key`: 1 while no key is established
// (blank tonic letter), else its degree in the key, else 5 for a major and 4
// for a minor triad, else 0 (which no substitution rule matches).
[[nodiscard]] harmony::ScaleDegree PivotDegree(harmony::Key key, const harmony::Chord& chord);

// A candidate with the two rules that make it: what an explanation of a
// step and a check of the tables need besides the chords.
struct RuledPlan {
  Plan plan;
  std::size_t substitution = 0;  // in the substitution table
  std::size_t connection = 0;    // in the connection table
};

// How much the search's caches hold; only the benchmarks look.
struct SearchCacheFigures {
  std::size_t states = 0;  // (key, chord) pairs whose ways home are summarised
  std::size_t chords = 0;  // distinct chords seen
  std::size_t bytes = 0;   // rough size of the indexes and caches, heap included
};

// Everything the progression can play from its home key, as a check of the
// tables needs it: found from the search's own indexes, exactly, without
// playing it.
struct ReachedStates {
  // Every (key, chord) some choice with a weight above 0 plays, in no order.
  std::vector<ProgressionStep> steps;
  // [rule]: some reachable choice draws it with a weight above 0.
  std::vector<bool> connectionDrawn;
  std::vector<bool> substitutionDrawn;
  // A chord no rule continues from, and the connection rules whose chains
  // land on it there, in table order.
  struct Trap {
    ProgressionStep at;
    std::vector<std::size_t> ledInBy;
  };
  std::vector<Trap> traps;
  bool tonicStuck = false;  // nothing leads on from the start
  // The heaviest choice, where its weights add up to more than 32 bits hold.
  std::int64_t heaviest = 0;
  std::optional<ProgressionStep> heaviestAt;
  bool stopped = false;  // cut short on request: the rest is not all
};

// The progression search with its indexes and caches.
//
// Whether a way home exists from a step (a probe) depends only on the depth,
// the previous chord, the key and the chord, for fixed rules and home key, and
// it can only get harder as the depth grows. The search therefore keeps, for
// each (key, chord) it has probed, the set of chain ends that lead home,
// summarised as "two or more", "one, namely w" or "none" with the depth ranges
// over which each is known; the previous chord only removes the chain ends
// equal to it, so one summary serves every previous chord.
//
// The caches stay bounded without eviction: probed states are (candidate key,
// chord that a chain of the tables ends on in that key), at most 32 x the
// number of distinct (last degree, correction) pairs of the connection table,
// i.e. at most 32,000 for a full table and under a thousand for tables written
// with the digits 1 to 7.
//
// All entry points take the tables they search; Invalidate must be called
// whenever the rules or the home key change.
class ProgressionSearch {
 public:
  static constexpr std::int32_t MaxDepth = 16;

  ProgressionSearch();
  ~ProgressionSearch();
  // A copy starts with empty caches: they hold nothing that the next search
  // could not work out again.
  ProgressionSearch(const ProgressionSearch& other);
  ProgressionSearch& operator=(const ProgressionSearch& other);

  void Invalidate();

  // The weighted choice of Advance without building the whole set: nullopt
  // (and no draw) when the total weight is 0, else DrawBelow picks the plan.
  [[nodiscard]] std::optional<RuledPlan> Choose(const SearchTables& tables, std::int32_t depth,
                                                const harmony::Chord& previous,
                                                const ProgressionStep& current,
                                                RandomSource& random);

  // Every candidate of the top level in the order found, as Choose weighs
  // them. Advance never needs the whole set; it is what the search is checked
  // against.
  [[nodiscard]] PlanSet Collect(const SearchTables& tables, std::int32_t depth,
                                const harmony::Chord& previous, const ProgressionStep& current);

  // The candidates of Collect, in its order, each with its rules.
  [[nodiscard]] std::vector<RuledPlan> Candidates(const SearchTables& tables, std::int32_t depth,
                                                  const harmony::Chord& previous,
                                                  const ProgressionStep& current);

  // Every state the progression can reach from the home key. `stop`, asked
  // now and then, cuts it short.
  [[nodiscard]] ReachedStates Reach(const SearchTables& tables,
                                    const std::function<bool()>& stop = {});

  [[nodiscard]] SearchCacheFigures CacheFigures() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sonavela::generator
