// SPDX-License-Identifier: GPL-3.0-or-later
// What the reach found, as a check of the tables reports it: the rules drawn,
// the steps played, the traps and the heaviest choice.

#include "generator/reach_impl.h"

namespace sonavela::generator {

void ProgressionSearch::Impl::Reacher::Collect(ReachedStates& result) {
  std::vector<std::uint32_t> drawnSteps(kCandidateKeyCount * entries_, 0);
  std::vector<const EndEntry*> entryOf(entries_, nullptr);
  for (const Node& x : nodes_) {
    if (x.reached == 0)
      continue;
    ForEachDrawnEnd(x, [&](const Group& g, const EndEntry& e, int y) {
      const Node& to = nodes_[static_cast<std::size_t>(y)];
      const Depths from = Besides(x, to.cls);
      if (from == 0)
        return;
      // The shallowest depth accepts the most.
      const std::uint32_t steps =
          IsHome(g.key) ? e.drawn
                        : e.drawn & StepsUpTo(Deepest(to, x.cls) - std::countr_zero(from));
      if (steps == 0)
        return;
      rereadings_[g.rereading].drawn = true;
      drawnSteps[static_cast<std::size_t>(g.key) * entries_ + e.id] |= steps;
      entryOf[e.id] = &e;
    });
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
    ForEachDrawnEnd(x, [&](const Group& g, const EndEntry& e, int y) {
      const Node& to = nodes_[static_cast<std::size_t>(y)];
      deepest.Offer(to.cls,
                    IsHome(g.key) ? kDeepest : Deepest(to, x.cls) - std::countr_zero(e.drawn));
    });
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
      ForEachDrawnEnd(from, [&](const Group& g, const EndEntry& e, int y) {
        if (y != trap.node)
          return;
        std::uint32_t steps = 0;
        ForEachBit(e.drawn, [&](int s) {
          if ((Landing(from, g.key, x, 1u << s) & trap.depths) != 0)
            steps |= 1u << s;
        });
        for (const std::int32_t c : e.chains) {
          if ((steps >> s_.chains[static_cast<std::size_t>(c)].steps) & 1u)
            rules.insert(static_cast<std::size_t>(c));
        }
      });
    }
  }
  for (const auto& [node, rules] : ledInBy)
    result.traps.push_back(
        {StepOf(nodes_[static_cast<std::size_t>(node)]), {rules.begin(), rules.end()}});
}

std::int64_t ProgressionSearch::Impl::Reacher::Total(const Node& x, std::int32_t before,
                                                     int depth) const {
  std::int64_t total = 0;
  ForEachDrawnEnd(x, [&](const Group& g, const EndEntry& e, int y) {
    const Node& to = nodes_[static_cast<std::size_t>(y)];
    if (to.cls == before)
      return;
    const int steps =
        IsHome(g.key) ? static_cast<int>(kDegreeSlots) - 1 : Deepest(to, x.cls) - depth;
    if (steps <= 0)
      return;
    // Summed rule by rule or as one product, the saturated sum is the same.
    const std::int64_t weight =
        e.weightUpTo[static_cast<std::size_t>(std::min<int>(steps, kDegreeSlots - 1))];
    total = SaturatingAdd(total, SaturatingMultiply(rereadings_[g.rereading].weight, weight));
  });
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

}  // namespace sonavela::generator
