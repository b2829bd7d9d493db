// SPDX-License-Identifier: GPL-3.0-or-later
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

namespace {

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

}  // namespace

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

void ProgressionSearch::Impl::Reacher::Build() {
  const harmony::Chord tonic = harmony::BuildChordOnDegree(s_.tables.home, 1);
  Node start;
  start.chord = s_.Intern(tonic);
  const std::int32_t nothing = s_.Intern(harmony::Chord{});
  nodes_.push_back(start);
  std::unordered_map<std::int64_t, int> byPair;
  const std::size_t endCount = s_.endClasses.size();
  nodeOf_.assign(kCandidateKeyCount * endCount, -1);
  for (std::size_t k = 0; k < kCandidateKeyCount; ++k) {
    for (std::size_t e = 0; e < endCount; ++e) {
      const std::int32_t chord = s_.EndChord(static_cast<int>(k), static_cast<std::int32_t>(e));
      if (chord < 0)
        continue;
      const auto [at, inserted] = byPair.try_emplace(static_cast<std::int64_t>(k) << 32 | chord,
                                                     static_cast<int>(nodes_.size()));
      if (inserted) {
        Node node;
        node.key = static_cast<int>(k);
        node.chord = chord;
        nodes_.push_back(node);
      }
      nodeOf_[k * endCount + e] = at->second;
    }
  }
  // Every chord is interned by now, so the classes are all known.
  classes_ = s_.classIds.size();
  for (Node& node : nodes_)
    node.cls = s_.chords[static_cast<std::size_t>(node.chord)].equalityClass;
  depthsAfter_.assign(nodes_.size() * classes_, 0);

  for (int bucket = 0; bucket < kModes; ++bucket) {
    for (const auto& [first, group] : s_.modes[static_cast<std::size_t>(bucket)].chainsByFirst) {
      ChainEnds& ends = ends_[static_cast<std::size_t>(bucket)][first];
      for (const std::int32_t c : group.rules) {
        const ChainInfo chain = s_.chains[static_cast<std::size_t>(c)];
        auto entry = std::find_if(ends.begin(), ends.end(),
                                  [&](const EndEntry& e) { return e.endClass == chain.endClass; });
        if (entry == ends.end()) {
          entry = ends.insert(ends.end(), EndEntry{});
          entry->endClass = chain.endClass;
          entry->id = entries_++;
        }
        entry->steps |= 1u << chain.steps;
        const std::int64_t weight =
            EffectiveWeight(s_.tables.connection[static_cast<std::size_t>(c)].Weight);
        if (weight > 0) {
          entry->drawn |= 1u << chain.steps;
          entry->chains.push_back(c);
          for (std::size_t up = static_cast<std::size_t>(chain.steps); up < kDegreeSlots; ++up)
            entry->weightUpTo[up] += weight;
        }
      }
    }
  }

  const int homeBucket = ModeBucket(s_.tables.home.mode);
  if (homeBucket >= 0)
    AddGroups(nodes_[0], homeBucket, 1, true);
  for (std::size_t n = 1; n < nodes_.size(); ++n) {
    Node& node = nodes_[n];
    AddGroups(node, node.key & 1, s_.CandidatePivotDegree(node.key, node.chord), false);
  }
  // The start comes after no chord.
  Add(0, s_.chords[static_cast<std::size_t>(nothing)].equalityClass, 1);
}

void ProgressionSearch::Impl::Reacher::AddGroups(Node& node, int bucket, ScaleDegree pivot,
                                                 bool start) {
  if (pivot < 1 || pivot > 7)
    return;
  const ModeIndex& index = s_.modes[static_cast<std::size_t>(bucket)];
  for (const Target& target : index.distinctTo[static_cast<std::size_t>(pivot)]) {
    // Until a key is established only re-readings as the tonic count.
    if (target.keys == 0 || (start && target.degree != 1))
      continue;
    const auto [at, inserted] =
        rereadingAt_.try_emplace({bucket, pivot, target.degree}, rereadings_.size());
    if (inserted) {
      Rereading rereading;
      for (const std::int32_t r : index.substitutionsByFrom[static_cast<std::size_t>(pivot)]) {
        const SubstitutionRule& rule = s_.tables.substitution[static_cast<std::size_t>(r)];
        const std::int64_t weight = EffectiveWeight(rule.Weight);
        if (rule.ToDegree != target.degree || weight == 0)
          continue;
        rereading.weight += weight;
        rereading.rules.push_back(r);
      }
      rereadings_.push_back(std::move(rereading));
    }
    ForEachBit(s_.FitMask(node.chord, target.degree) & target.keys, [&](int k) {
      const auto& ends = ends_[static_cast<std::size_t>(k & 1)];
      if (const auto found = ends.find(target.degree); found != ends.end())
        node.groups.push_back({k, &found->second, at->second});
    });
  }
}

void ProgressionSearch::Impl::Reacher::FindWaysHome() {
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t n = 1; n < nodes_.size(); ++n) {
      Node& x = nodes_[n];
      if (IsHome(x.key) || x.two == kDeepest)
        continue;  // home needs no way home; two ways from the deepest is all there is
      BestTwo best;
      for (const Group& g : x.groups) {
        for (const EndEntry& e : *g.ends) {
          const int y = NodeAt(g.key, e.endClass);
          if (y < 0)
            continue;
          const Node& to = nodes_[static_cast<std::size_t>(y)];
          const int value =
              IsHome(g.key) ? kDeepest : Deepest(to, x.cls) - std::countr_zero(e.steps);
          if (value >= 0)
            best.Offer(to.cls, value);
        }
        if (best.second == kDeepest)
          break;
      }
      if (best.first != x.one || best.second != x.two ||
          (best.first > best.second && best.firstClass != x.witness)) {
        x.one = best.first;
        x.two = best.second;
        x.witness = best.firstClass;
        changed = true;
      }
    }
  }
}

void ProgressionSearch::Impl::Reacher::Add(int node, std::int32_t before, Depths depths) {
  Depths& known = DepthsAfter(node, before);
  const auto fresh = static_cast<Depths>(depths & ~known);
  if (fresh == 0)
    return;
  known |= fresh;
  Node& n = nodes_[static_cast<std::size_t>(node)];
  ForEachBit(fresh, [&](int d) {
    const auto bit = static_cast<Depths>(1u << d);
    if ((n.reached & bit) == 0) {
      n.reached |= bit;
      n.soleBefore[static_cast<std::size_t>(d)] = before;
    } else {
      n.reachedTwice |= bit;
    }
  });
  if (n.order < 0)
    n.order = reachedSoFar_++;
  if (!n.queued) {
    n.queued = true;
    waiting_.push_back(node);
  }
}

bool ProgressionSearch::Impl::Reacher::Spread() {
  while (!waiting_.empty()) {
    if (stop_ && stop_())
      return false;
    const int at = waiting_.front();
    waiting_.pop_front();
    nodes_[static_cast<std::size_t>(at)].queued = false;
    // Landing on itself only adds depths, which come round again.
    const Node& x = nodes_[static_cast<std::size_t>(at)];
    for (const Group& g : x.groups) {
      if (rereadings_[g.rereading].weight == 0)
        continue;
      for (const EndEntry& e : *g.ends) {
        const int y = NodeAt(g.key, e.endClass);
        if (e.drawn == 0 || y < 0)
          continue;
        const Node& to = nodes_[static_cast<std::size_t>(y)];
        const Depths from = Besides(x, to.cls);
        if (from == 0)
          continue;
        Depths landing = 0;
        if (IsHome(g.key)) {
          landing = 1;
        } else {
          const int deepest = Deepest(to, x.cls);
          ForEachBit(e.drawn, [&](int steps) {
            landing |= static_cast<Depths>((from & UpTo(deepest - steps)) << steps);
          });
        }
        if (landing != 0)
          Add(y, x.cls, landing);
      }
    }
  }
  return true;
}

void ProgressionSearch::Impl::Reacher::Collect(ReachedStates& result) {
  std::vector<std::uint32_t> drawnSteps(kCandidateKeyCount * entries_, 0);
  std::vector<const EndEntry*> entryOf(entries_, nullptr);
  for (const Node& x : nodes_) {
    if (x.reached == 0)
      continue;
    for (const Group& g : x.groups) {
      Rereading& rereading = rereadings_[g.rereading];
      if (rereading.weight == 0)
        continue;
      for (const EndEntry& e : *g.ends) {
        const int y = NodeAt(g.key, e.endClass);
        if (e.drawn == 0 || y < 0)
          continue;
        const Node& to = nodes_[static_cast<std::size_t>(y)];
        const Depths from = Besides(x, to.cls);
        if (from == 0)
          continue;
        // The shallowest depth accepts the most.
        const std::uint32_t steps =
            IsHome(g.key) ? e.drawn
                          : e.drawn & StepsUpTo(Deepest(to, x.cls) - std::countr_zero(from));
        if (steps == 0)
          continue;
        rereading.drawn = true;
        drawnSteps[static_cast<std::size_t>(g.key) * entries_ + e.id] |= steps;
        entryOf[e.id] = &e;
      }
    }
  }
  for (const Rereading& rereading : rereadings_) {
    for (const std::int32_t r : rereading.rules) {
      if (rereading.drawn)
        result.substitutionDrawn[static_cast<std::size_t>(r)] = true;
    }
  }

  // Chains of 19 degrees at most, so their degrees, digits or not, stay in this range.
  constexpr int kOffset = 256;
  std::array<std::bitset<2 * kOffset>, kCandidateKeyCount> degrees;
  std::set<std::pair<int, std::int32_t>> ends;
  for (std::size_t k = 0; k < kCandidateKeyCount; ++k) {
    for (std::size_t id = 0; id < entries_; ++id) {
      const std::uint32_t steps = drawnSteps[k * entries_ + id];
      if (steps == 0)
        continue;
      const EndEntry& e = *entryOf[id];
      ends.insert({static_cast<int>(k), s_.EndChord(static_cast<int>(k), e.endClass)});
      for (const std::int32_t c : e.chains) {
        const ChainInfo chain = s_.chains[static_cast<std::size_t>(c)];
        if (((steps >> chain.steps) & 1u) == 0)
          continue;
        result.connectionDrawn[static_cast<std::size_t>(c)] = true;
        const ConnectionRule& rule = s_.tables.connection[static_cast<std::size_t>(c)];
        for (std::int32_t i = 1; i < chain.steps; ++i) {
          const std::int32_t degree = rule.Degrees[static_cast<std::size_t>(i)];
          if (degree > -kOffset && degree < kOffset)
            degrees[k].set(static_cast<std::size_t>(degree + kOffset));
        }
      }
    }
  }
  result.steps.push_back(StepOf(nodes_[0]));
  for (std::size_t k = 0; k < kCandidateKeyCount; ++k) {
    const harmony::Key key = CandidateKeys()[k];
    for (std::size_t d = 0; d < degrees[k].size(); ++d) {
      if (degrees[k].test(d))
        result.steps.push_back(
            {key, harmony::BuildChordOnDegree(key, static_cast<ScaleDegree>(d) - kOffset)});
    }
  }
  for (const auto& [k, chord] : ends)
    result.steps.push_back({CandidateKeys()[static_cast<std::size_t>(k)],
                            s_.chords[static_cast<std::size_t>(chord)].chord});
}

void ProgressionSearch::Impl::Reacher::FindTraps(ReachedStates& result) {
  struct Stuck {
    int node;
    std::int32_t before;
    Depths depths;
  };
  std::vector<Stuck> stuck;
  for (std::size_t n = 0; n < nodes_.size(); ++n) {
    const Node& x = nodes_[n];
    if (x.reached == 0)
      continue;
    // How deep each chord class still has a continuation with a weight.
    BestTwo deepest;
    for (const Group& g : x.groups) {
      if (rereadings_[g.rereading].weight == 0)
        continue;
      for (const EndEntry& e : *g.ends) {
        const int y = NodeAt(g.key, e.endClass);
        if (e.drawn == 0 || y < 0)
          continue;
        const Node& to = nodes_[static_cast<std::size_t>(y)];
        deepest.Offer(to.cls,
                      IsHome(g.key) ? kDeepest : Deepest(to, x.cls) - std::countr_zero(e.drawn));
      }
    }
    for (std::size_t before = 0; before < classes_; ++before) {
      const auto cls = static_cast<std::int32_t>(before);
      const auto depths =
          static_cast<Depths>(DepthsAfter(static_cast<int>(n), cls) & ~UpTo(deepest.Besides(cls)));
      if (depths == 0)
        continue;
      if (n == 0)
        result.tonicStuck = true;
      else
        stuck.push_back({static_cast<int>(n), cls, depths});
    }
  }

  std::map<int, std::set<std::size_t>> ledInBy;
  for (const Stuck& trap : stuck) {
    std::set<std::size_t>& rules = ledInBy[trap.node];
    const Node& x = nodes_[static_cast<std::size_t>(trap.node)];
    for (const Node& from : nodes_) {
      if (from.reached == 0 || from.cls != trap.before)
        continue;
      const Depths before = Besides(from, x.cls);
      for (const Group& g : from.groups) {
        if (g.key != x.key || before == 0 || rereadings_[g.rereading].weight == 0)
          continue;
        for (const EndEntry& e : *g.ends) {
          if (NodeAt(g.key, e.endClass) != trap.node)
            continue;
          std::uint32_t steps = 0;
          ForEachBit(e.drawn, [&](int s) {
            const Depths landing =
                IsHome(g.key) ? Depths{1}
                              : static_cast<Depths>((before & UpTo(Deepest(x, from.cls) - s)) << s);
            if ((landing & trap.depths) != 0)
              steps |= 1u << s;
          });
          for (const std::int32_t c : e.chains) {
            if ((steps >> s_.chains[static_cast<std::size_t>(c)].steps) & 1u)
              rules.insert(static_cast<std::size_t>(c));
          }
        }
      }
    }
  }
  for (const auto& [node, rules] : ledInBy)
    result.traps.push_back(
        {StepOf(nodes_[static_cast<std::size_t>(node)]), {rules.begin(), rules.end()}});
}

std::int64_t ProgressionSearch::Impl::Reacher::Total(const Node& x, std::int32_t before,
                                                     int depth) const {
  std::int64_t total = 0;
  for (const Group& g : x.groups) {
    const std::int64_t weight = rereadings_[g.rereading].weight;
    if (weight == 0)
      continue;
    std::int64_t list = 0;
    for (const EndEntry& e : *g.ends) {
      const int y = NodeAt(g.key, e.endClass);
      if (e.drawn == 0 || y < 0 || nodes_[static_cast<std::size_t>(y)].cls == before)
        continue;
      const int steps = IsHome(g.key) ? static_cast<int>(kDegreeSlots) - 1
                                      : Deepest(nodes_[static_cast<std::size_t>(y)], x.cls) - depth;
      if (steps > 0)
        list += e.weightUpTo[static_cast<std::size_t>(std::min<int>(steps, kDegreeSlots - 1))];
    }
    total = SaturatingAdd(total, SaturatingMultiply(weight, list));
  }
  return total;
}

void ProgressionSearch::Impl::Reacher::FindHeaviest(ReachedStates& result) {
  // A bound first, ignoring the chord before: only where it outgrows 32 bits
  // is the exact sum of each chord before worth working out.
  std::vector<std::pair<int, std::int64_t>> bounds;
  for (std::size_t n = 0; n < nodes_.size(); ++n) {
    const Node& x = nodes_[n];
    if (x.reached == 0)
      continue;
    const std::int64_t bound = Total(x, -1, std::countr_zero(x.reached));
    if (bound > std::numeric_limits<std::int32_t>::max())
      bounds.push_back({x.order, static_cast<std::int64_t>(n)});
  }
  std::sort(bounds.begin(), bounds.end());
  for (const auto& [order, n] : bounds) {
    const Node& x = nodes_[static_cast<std::size_t>(n)];
    if (Total(x, -1, std::countr_zero(x.reached)) <= result.heaviest)
      continue;
    for (std::size_t before = 0; before < classes_; ++before) {
      const Depths depths = DepthsAfter(static_cast<int>(n), static_cast<std::int32_t>(before));
      if (depths == 0)
        continue;
      const std::int64_t total =
          Total(x, static_cast<std::int32_t>(before), std::countr_zero(depths));
      if (total > result.heaviest) {
        result.heaviest = total;
        result.heaviestAt = StepOf(x);
      }
    }
  }
}

ReachedStates ProgressionSearch::Reach(const SearchTables& tables,
                                       const std::function<bool()>& stop) {
  impl_->Prepare(tables);
  return Impl::Reacher(*impl_, stop).Run();
}

}  // namespace sonavela::generator
