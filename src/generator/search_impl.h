// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The indexes and caches behind ProgressionSearch; only the search's own
// sources include this.

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "generator/candidate_keys.h"
#include "generator/search.h"

namespace sonavela::generator::search_detail {

inline constexpr std::int64_t kMaxWeight = std::numeric_limits<std::int64_t>::max();

// 0 major, 1 minor, -1 for a mode no key has.
[[nodiscard]] inline int ModeBucket(char mode) {
  if (mode == harmony::kMajor)
    return 0;
  if (mode == harmony::kMinor)
    return 1;
  return -1;
}

[[nodiscard]] inline bool RuleAppliesIn(char ruleMode, int bucket) {
  return ruleMode == '?' || ModeBucket(ruleMode) == bucket;
}

[[nodiscard]] inline bool RuleAppliesIn(char ruleMode, char keyMode) {
  return ruleMode == '?' || ruleMode == keyMode;
}

[[nodiscard]] inline std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  return a > kMaxWeight - b ? kMaxWeight : a + b;
}

[[nodiscard]] inline std::int64_t SaturatingMultiply(std::int64_t a, std::int64_t b) {
  if (a != 0 && b > kMaxWeight / a)
    return kMaxWeight;
  return a * b;
}

// A chord that is no triad of its key (a correction made it foreign) is taken
// as a dominant when it is a major triad and as a subdominant when it is a
// minor one; any other shape has no degree.
[[nodiscard]] harmony::ScaleDegree ForeignChordDegree(const harmony::Chord& chord);

}  // namespace sonavela::generator::search_detail

namespace sonavela::generator {

struct ProgressionSearch::Impl {
  static constexpr int kModes = 2;  // 0 major, 1 minor
  static constexpr std::int32_t kUnknownEnd = -2;
  static constexpr std::int32_t kRefusedEnd = -1;
  // Fit masks use 32 bits; anything above marks one not worked out yet.
  static constexpr std::uint64_t kUnknownFit = std::numeric_limits<std::uint64_t>::max();

  using ChordKey = std::array<std::int32_t, 13>;
  struct ChordInfo {
    harmony::Chord chord;
    std::int32_t equalityClass = 0;      // equal classes <=> ChordsEqual
    std::uint8_t fitReady = 0;           // bit f: fit[f] is computed
    std::array<std::uint32_t, 7> fit{};  // bit k: fits CandidateKeys()[k] on degree f + 1
  };
  struct ChainInfo {
    std::int32_t steps = 0;     // degrees - 1; 0 marks a rule the search skips
    std::int32_t endClass = 0;  // index into endClasses
  };
  struct EndClass {
    harmony::ScaleDegree lastDegree = 0;
    char correction = ' ';
  };
  struct ConnGroup {
    std::vector<std::int32_t> rules;                          // table order
    std::vector<std::pair<std::int32_t, std::int32_t>> ends;  // distinct (endClass, steps)
  };
  // A degree a pivot may be re-read as, and the candidate keys in whose mode
  // some chain starts there: only those keys need asking whether they fit.
  struct Target {
    harmony::ScaleDegree degree = 0;
    std::uint32_t keys = 0;
  };
  struct ModeIndex {
    std::array<std::vector<std::int32_t>, 8> substitutionsByFrom;  // table order
    std::array<std::vector<Target>, 8> distinctTo;
    std::unordered_map<harmony::ScaleDegree, ConnGroup> chainsByFirst;
  };
  // Depth ranges over which the set W of chain ends leading home is known.
  struct Summary {
    std::int32_t twoUpTo = INT32_MIN;       // |W| >= 2 at every depth <= twoUpTo
    std::int32_t oneUpTo = INT32_MIN;       // W holds witnessClass at every depth <= oneUpTo
    std::int32_t belowTwoFrom = INT32_MAX;  // |W| <= 1 at every depth >= belowTwoFrom
    std::int32_t noneFrom = INT32_MAX;      // W empty at every depth >= noneFrom
    std::int32_t witnessClass = -1;
  };
  struct Found {
    int count = 0;  // 0, 1 or 2 (two or more)
    std::int32_t firstClass = -1;
  };
  struct Block {
    std::int32_t substitution;
    std::int32_t key;
    std::int32_t list;
    std::int64_t weight;
  };
  struct TopLevel {
    std::vector<Block> blocks;
    std::vector<std::vector<std::int32_t>> lists;
    std::int64_t total = 0;
  };

  // Index and cache upkeep (search_index.cpp).
  void Prepare(const SearchTables& newTables);
  std::int32_t Intern(const harmony::Chord& chord);
  std::uint32_t FitMask(std::int32_t chordId, harmony::ScaleDegree degree);
  harmony::ScaleDegree CandidatePivotDegree(int keyIndex, std::int32_t chordId);
  std::int32_t EndChord(int keyIndex, std::int32_t endClass);
  [[nodiscard]] std::size_t ApproximateBytes() const;

  // The search itself (search.cpp).
  bool IsHome(int keyIndex) const { return keyIndex >= 0 && keyIndex == homeIndex; }
  Found Explore(std::int32_t depth, int keyIndex, std::int32_t chordId);
  bool Accepts(std::int32_t depth, std::int32_t previousClass, int keyIndex, std::int32_t chordId);
  TopLevel BuildTopLevel(std::int32_t depth, const harmony::Chord& previous,
                         const ProgressionStep& current);
  Plan MakePlan(int keyIndex, std::int32_t connection, std::int64_t weight);

  // What a check of the tables needs (reach.cpp).
  class Reacher;

  SearchTables tables{};
  bool stale = true;
  int homeIndex = -1;
  std::vector<ChainInfo> chains;
  std::vector<EndClass> endClasses;
  std::array<ModeIndex, kModes> modes{};
  std::vector<std::uint32_t> substitutionKeys;  // [rule]: Target::keys of its ToDegree
  std::vector<std::int32_t> endChords;          // [key * endClasses + endClass]
  std::vector<ChordInfo> chords;
  // Re-readings as degree 0 or below do not fold onto 1..7: each such degree
  // of the substitution table gets a slot of its own.
  std::vector<harmony::ScaleDegree> lowDegrees;          // sorted, distinct
  std::vector<std::uint64_t> lowFits;                    // [chord * lowDegrees + slot]
  std::map<ChordKey, std::int32_t> chordIds;             // the record, field by field
  std::map<ChordKey, std::int32_t> classIds;             // what ChordsEqual compares
  std::unordered_map<std::uint64_t, Summary> summaries;  // (chord id << 5) | key
};

}  // namespace sonavela::generator
