// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Only the reach's own sources include this.
// Everything the progression can reach from its home key, for a check of the
// tables. Running the search state by state (key, chord, chord before, steps
// from home) costs more than the square of the tables, so this works on the
// (key, chord) pairs a chain can end on and carries the rest as sets:
//  - ways home: for each pair, the deepest depth from which some chord still
//    leads home, and the deepest from which two different ones do. That is
//    all the search's probe asks of a pair, and it is found for all pairs at
//    once as the fixed point of the probe's own recursion;
//  - reach: the depths each pair is stood on at, per class of the chord
//    before it, carried along the choices that have a weight above 0.
// Both only grow while they are worked out, so each settles after a few
// rounds, and nothing is guessed: the probe would give the same answers.

#include <algorithm>
#include <bit>
#include <bitset>
#include <deque>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

#include "generator/search_impl.h"

namespace sonavela::generator {

using harmony::ScaleDegree;
using search_detail::ModeBucket;
using search_detail::SaturatingAdd;
using search_detail::SaturatingMultiply;

namespace reach_detail {

constexpr int kDeepest = ProgressionSearch::MaxDepth - 1;
using Depths = std::uint16_t;  // bit d: stood on d chords away from home

constexpr Depths UpTo(int depth) {
  if (depth < 0)
    return 0;
  return depth >= kDeepest ? Depths{0xFFFF} : static_cast<Depths>((1u << (depth + 1)) - 1);
}

// Bit s: chains of s steps.
constexpr std::uint32_t StepsUpTo(int steps) {
  if (steps < 0)
    return 0;
  return steps >= 31 ? ~0u : (1u << (steps + 1)) - 1;
}

template <typename Bits, typename F>
void ForEachBit(Bits bits, F f) {
  for (std::uint32_t rest = bits; rest != 0; rest &= rest - 1)
    f(std::countr_zero(rest));
}

// The best value offered and the best of any other class.
struct BestTwo {
  int first = -1;
  int second = -1;
  std::int32_t firstClass = -1;

  void Offer(std::int32_t cls, int value) {
    if (value <= second)
      return;
    if (cls == firstClass) {
      first = std::max(first, value);
    } else if (value > first) {
      second = first;
      first = value;
      firstClass = cls;
    } else {
      second = value;
    }
  }
  [[nodiscard]] int Besides(std::int32_t cls) const { return cls == firstClass ? second : first; }
};

// The chains of one mode starting on one degree that end on one chord class.
struct EndEntry {
  std::int32_t endClass = 0;
  std::size_t id = 0;                // among all entries
  std::uint32_t steps = 0;           // bit s: a chain of s steps, whatever its weight
  std::uint32_t drawn = 0;           // the same for chains with a weight above 0
  std::vector<std::int32_t> chains;  // those with a weight above 0, table order
  std::array<std::int64_t, kDegreeSlots> weightUpTo{};  // [s]: of those with s steps or fewer
};
using ChainEnds = std::vector<EndEntry>;

// The substitution rules of one mode from one pivot degree to one degree.
struct Rereading {
  std::int64_t weight = 0;
  std::vector<std::int32_t> rules;  // with a weight above 0
  bool drawn = false;
};

}  // namespace reach_detail

using namespace reach_detail;

class ProgressionSearch::Impl::Reacher {
 public:
  Reacher(Impl& search, const std::function<bool()>& stop) : s_(search), stop_(stop) {}

  ReachedStates Run() {
    Build();
    FindWaysHome();
    ReachedStates result;
    result.connectionDrawn.assign(s_.tables.connection.size(), false);
    result.substitutionDrawn.assign(s_.tables.substitution.size(), false);
    if (!Spread()) {
      result.stopped = true;
      return result;
    }
    Collect(result);
    FindTraps(result);
    FindHeaviest(result);
    return result;
  }

 private:
  struct Group {  // a re-reading into `key` and the chains it offers there
    int key = 0;
    const ChainEnds* ends = nullptr;
    std::size_t rereading = 0;
  };
  struct Node {  // a (key, chord) between two searches; key -1 is the start
    int key = -1;
    std::int32_t chord = 0;
    std::int32_t cls = 0;
    std::vector<Group> groups;
    int one = -1;               // ways home: deepest depth with one class leading home
    int two = -1;               // and with two
    std::int32_t witness = -1;  // the one class, where only one does
    Depths reached = 0;         // after a chord of some class
    Depths reachedTwice = 0;    // after chords of two classes or more
    std::array<std::int32_t, kDeepest + 1> soleBefore{};
    bool queued = false;
    int order = -1;  // when first reached
  };

  [[nodiscard]] bool IsHome(int key) const { return key >= 0 && key == s_.homeIndex; }
  [[nodiscard]] int NodeAt(int key, std::int32_t endClass) const {
    return nodeOf_[static_cast<std::size_t>(key) * s_.endClasses.size() +
                   static_cast<std::size_t>(endClass)];
  }
  // The deepest depth at which the search accepts landing on `y` after a
  // chord of class `before`.
  [[nodiscard]] static int Deepest(const Node& y, std::int32_t before) {
    return y.witness != before ? y.one : y.two;
  }
  // The depths `n` is stood on after a chord of a class other than `cls`.
  [[nodiscard]] static Depths Besides(const Node& n, std::int32_t cls) {
    Depths result = n.reachedTwice;
    ForEachBit(static_cast<Depths>(n.reached & ~n.reachedTwice), [&](int d) {
      if (n.soleBefore[static_cast<std::size_t>(d)] != cls)
        result |= static_cast<Depths>(1u << d);
    });
    return result;
  }
  // Calls f(group, entry, node) for every chain end that `x` draws with a
  // weight above 0, and the node it lands on.
  template <typename F>
  void ForEachDrawnEnd(const Node& x, F f) const {
    for (const Group& g : x.groups) {
      if (rereadings_[g.rereading].weight == 0)
        continue;
      for (const EndEntry& e : *g.ends) {
        const int y = NodeAt(g.key, e.endClass);
        if (e.drawn != 0 && y >= 0)
          f(g, e, y);
      }
    }
  }
  // The depths `to` is stood on after `from` draws chains of `steps` (bit s:
  // s steps) in `key` that end there.
  [[nodiscard]] Depths Landing(const Node& from, int key, const Node& to,
                               std::uint32_t steps) const {
    const Depths before = Besides(from, to.cls);
    if (before == 0 || steps == 0)
      return 0;
    if (IsHome(key))
      return 1;
    Depths landing = 0;
    const int deepest = Deepest(to, from.cls);
    ForEachBit(steps,
               [&](int s) { landing |= static_cast<Depths>((before & UpTo(deepest - s)) << s); });
    return landing;
  }
  Depths& DepthsAfter(int node, std::int32_t before) {
    return depthsAfter_[static_cast<std::size_t>(node) * classes_ +
                        static_cast<std::size_t>(before)];
  }

  void Build();
  void AddGroups(Node& node, int bucket, ScaleDegree pivot, bool start);
  void FindWaysHome();
  bool Spread();
  void Add(int node, std::int32_t before, Depths depths);
  void Collect(ReachedStates& result);
  void FindTraps(ReachedStates& result);
  void FindHeaviest(ReachedStates& result);
  [[nodiscard]] std::int64_t Total(const Node& x, std::int32_t before, int depth) const;
  [[nodiscard]] ProgressionStep StepOf(const Node& n) const {
    return {n.key < 0 ? s_.tables.home : CandidateKeys()[static_cast<std::size_t>(n.key)],
            s_.chords[static_cast<std::size_t>(n.chord)].chord};
  }

  Impl& s_;
  const std::function<bool()>& stop_;
  std::array<std::map<ScaleDegree, ChainEnds>, kModes> ends_;
  std::size_t entries_ = 0;
  std::map<std::tuple<int, ScaleDegree, ScaleDegree>, std::size_t> rereadingAt_;
  std::vector<Rereading> rereadings_;
  std::vector<Node> nodes_;  // the start first
  std::vector<int> nodeOf_;  // [key * end classes + end class], -1 where refused
  std::size_t classes_ = 0;
  std::vector<Depths> depthsAfter_;  // [node * classes + class before]
  std::deque<int> waiting_;
  int reachedSoFar_ = 0;
};

}  // namespace sonavela::generator
