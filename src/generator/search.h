#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "generator/candidate_keys.h"
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

  void Invalidate();

  // Collecting mode of the top level: every candidate, in the order found.
  [[nodiscard]] PlanSet Collect(const SearchTables& tables, std::int32_t depth,
                                const harmony::Chord& previous, const ProgressionStep& current);

  // The weighted choice of Advance without building the whole set: nullopt
  // (and no draw) when the total weight is 0, else two draws pick the plan.
  [[nodiscard]] std::optional<Plan> Choose(const SearchTables& tables, std::int32_t depth,
                                           const harmony::Chord& previous,
                                           const ProgressionStep& current, RandomSource& random);

  // Probing mode: whether some stretch from `current` leads home in time.
  [[nodiscard]] bool Probe(const SearchTables& tables, std::int32_t depth,
                           const harmony::Chord& previous, const ProgressionStep& current);

  // The chains that continue from `pivot`, re-read as degree `pivotDegree` of
  // `newKey`; collecting appends to `set`, probing stops at the first success.
  bool SearchChains(const SearchTables& tables, bool probeOnly, std::int32_t depth,
                    const harmony::Chord& previous, const harmony::Chord& pivot,
                    harmony::Key newKey, harmony::ScaleDegree pivotDegree,
                    std::int32_t substitutionWeight, PlanSet& set);

  // Figures for the benchmarks.
  [[nodiscard]] std::size_t CachedStates() const { return summaries_.size(); }
  [[nodiscard]] std::size_t InternedChords() const { return chords_.size(); }
  [[nodiscard]] std::size_t ApproximateBytes() const;

 private:
  static constexpr int kModes = 2;  // 0 major, 1 minor
  static constexpr std::int32_t kUnknownEnd = -2;
  static constexpr std::int32_t kRefusedEnd = -1;

  using ChordKey = std::array<std::int32_t, 13>;
  struct ChordInfo {
    harmony::Chord chord;
    std::int32_t equalityClass = 0;      // equal classes <=> ChordsEqual
    std::uint8_t fitReady = 0;           // bit f: fit[f] is computed
    std::array<std::uint32_t, 7> fit{};  // bit k: fits CandidateKeys()[k] on degree f + 1
  };
  struct ChainInfo {
    std::int32_t steps = 0;     // degrees - 1; 0 marks a rule the search skips
    std::int32_t endClass = 0;  // index into endClasses_
  };
  struct EndClass {
    harmony::ScaleDegree lastDegree = 0;
    char correction = ' ';
  };
  struct ConnGroup {
    std::vector<std::int32_t> rules;                          // table order
    std::vector<std::pair<std::int32_t, std::int32_t>> ends;  // distinct (endClass, steps)
  };
  struct ModeIndex {
    std::array<std::vector<std::int32_t>, 8> substitutionsByFrom;  // table order
    std::array<std::vector<harmony::ScaleDegree>, 8> distinctTo;
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

  void Prepare(const SearchTables& tables);
  std::int32_t Intern(const harmony::Chord& chord);
  std::uint32_t FitMask(std::int32_t chordId, harmony::ScaleDegree degree);
  harmony::ScaleDegree CandidatePivotDegree(int keyIndex, std::int32_t chordId);
  std::int32_t EndChord(int keyIndex, std::int32_t endClass);
  std::int32_t EndChordAnyKey(harmony::Key key, int keyIndex, std::int32_t endClass);
  bool IsHome(int keyIndex) const { return keyIndex >= 0 && keyIndex == homeIndex_; }
  bool IsHome(harmony::Key key) const { return key == tables_.home; }
  template <typename Visit>
  void ForEachTargetDegree(harmony::Key key, int keyIndex, harmony::ScaleDegree pivotDegree,
                           Visit visit);
  Found Explore(std::int32_t depth, harmony::Key key, int keyIndex, std::int32_t chordId);
  bool Accepts(std::int32_t depth, std::int32_t previousClass, int keyIndex, std::int32_t chordId);
  bool ProbeFrom(std::int32_t depth, std::int32_t previousClass, harmony::Key key,
                 std::int32_t chordId);
  TopLevel BuildTopLevel(std::int32_t depth, const harmony::Chord& previous,
                         const ProgressionStep& current);
  Plan MakePlan(int keyIndex, std::int32_t connection, std::int64_t weight);

  SearchTables tables_{};
  bool stale_ = true;
  int homeIndex_ = -1;
  std::vector<ChainInfo> chains_;
  std::vector<EndClass> endClasses_;
  std::array<ModeIndex, kModes> modes_{};
  std::vector<std::int32_t> endChords_;  // [key * endClasses + endClass]
  std::vector<ChordInfo> chords_;
  std::map<ChordKey, std::int32_t> chordIds_;             // the record, field by field
  std::map<ChordKey, std::int32_t> classIds_;             // what ChordsEqual compares
  std::unordered_map<std::uint64_t, Summary> summaries_;  // (chord id << 5) | key
};

}  // namespace sonavela::generator
