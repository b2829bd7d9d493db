// SPDX-License-Identifier: GPL-3.0-or-later
// Working out the ways home and the reach; see reach_impl.h.

#include "generator/reach_impl.h"

namespace sonavela::generator {

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
    ForEachDrawnEnd(x, [&](const Group& g, const EndEntry& e, int y) {
      const Depths landing = Landing(x, g.key, nodes_[static_cast<std::size_t>(y)], e.drawn);
      if (landing != 0)
        Add(y, x.cls, landing);
    });
  }
  return true;
}

ReachedStates ProgressionSearch::Reach(const SearchTables& tables,
                                       const std::function<bool()>& stop) {
  impl_->Prepare(tables);
  return Impl::Reacher(*impl_, stop).Run();
}

}  // namespace sonavela::generator
