// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/search.h"

#include <algorithm>
#include <bit>

#include "generator/search_impl.h"

namespace sonavela::generator {

using harmony::Chord;
using harmony::Key;
using harmony::ScaleDegree;
using search_detail::ForeignChordDegree;
using search_detail::ModeBucket;
using search_detail::RuleAppliesIn;
using search_detail::SaturatingAdd;
using search_detail::SaturatingMultiply;

namespace {

bool DepthAllows(std::int32_t depth, std::int32_t steps, std::int32_t maxDepth) {
  return static_cast<std::int64_t>(depth) + steps < maxDepth;
}

}  // namespace

ScaleDegree search_detail::ForeignChordDegree(const Chord& chord) {
  const std::int32_t third = chord.type.tones[1].delta;
  const std::int32_t fifth = chord.type.tones[2].delta;
  if (third == 0 && fifth == -1)
    return 5;
  if (third == -1 && fifth == -1)
    return 4;
  return 0;
}

std::optional<Chord> ApplyCorrection(Chord chord, char correction) {
  auto& tones = chord.type.tones;
  switch (correction) {
    case 'M':
      tones[1].delta = 0;
      return chord;
    case 'm':
      tones[1].delta = -1;
      if (!harmony::IsPlainNote(harmony::WholeToneDown(chord.root)))
        return std::nullopt;
      return chord;
    case 'n':
      chord.root.accidental -= 1;
      for (std::size_t i = 1; i < tones.size() && tones[i].steps >= 0; ++i)
        tones[i].delta += 1;
      if (!harmony::IsPlainNote(harmony::MoveByWholeTones(chord.root, {-4, +1}))) {
        return std::nullopt;
      }
      return chord;
    default:
      return chord;
  }
}

ScaleDegree PivotDegree(Key key, const Chord& chord) {
  if (key.tonic.letter == ' ')
    return 1;
  const ScaleDegree degree = harmony::DegreeOfChord(key, chord);
  return degree != 0 ? degree : ForeignChordDegree(chord);
}

ProgressionSearch::ProgressionSearch() : impl_(std::make_unique<Impl>()) {}

ProgressionSearch::~ProgressionSearch() = default;

ProgressionSearch::ProgressionSearch(const ProgressionSearch& /*other*/)
    : impl_(std::make_unique<Impl>()) {}

ProgressionSearch& ProgressionSearch::operator=(const ProgressionSearch& /*other*/) {
  Invalidate();
  return *this;
}

void ProgressionSearch::Invalidate() {
  impl_->stale = true;
}

SearchCacheFigures ProgressionSearch::CacheFigures() const {
  return {impl_->summaries.size(), impl_->chords.size(), impl_->ApproximateBytes()};
}

ProgressionSearch::Impl::Found ProgressionSearch::Impl::Explore(std::int32_t depth, int keyIndex,
                                                                std::int32_t chordId) {
  const ScaleDegree pivot = CandidatePivotDegree(keyIndex, chordId);
  const std::int32_t pivotClass = chords[chordId].equalityClass;
  Found found;
  if (pivot < 1 || pivot > 7)
    return found;
  const auto& targets = modes[keyIndex & 1].distinctTo[pivot];  // even keys major, odd minor
  for (const Target& target : targets) {
    if (target.keys == 0)
      continue;
    const ScaleDegree to = target.degree;
    std::uint32_t mask = FitMask(chordId, to) & target.keys;
    while (mask != 0) {
      const int k = std::countr_zero(mask);
      mask &= mask - 1;
      const auto& groups = modes[k & 1].chainsByFirst;
      const auto group = groups.find(to);
      if (group == groups.end())
        continue;
      for (const auto& [endClass, steps] : group->second.ends) {
        const std::int32_t end = EndChord(k, endClass);
        if (end < 0)
          continue;
        const std::int32_t cls = chords[end].equalityClass;
        if (found.count > 0 && cls == found.firstClass)
          continue;
        const bool leadsHome = IsHome(k) || (DepthAllows(depth, steps, MaxDepth) &&
                                             Accepts(depth + steps, pivotClass, k, end));
        if (!leadsHome)
          continue;
        if (found.count > 0)
          return {2, found.firstClass};
        found = {1, cls};
      }
    }
  }
  return found;
}

bool ProgressionSearch::Impl::Accepts(std::int32_t depth, std::int32_t previousClass, int keyIndex,
                                      std::int32_t chordId) {
  const std::uint64_t id =
      (static_cast<std::uint64_t>(chordId) << 5) | static_cast<std::uint64_t>(keyIndex);
  if (const auto known = summaries.find(id); known != summaries.end()) {
    const Summary& s = known->second;
    if (depth <= s.twoUpTo)
      return true;
    if (depth <= s.oneUpTo && s.witnessClass != previousClass)
      return true;
    if (depth >= s.noneFrom)
      return false;
    // Only the witness leads home there, and it is the previous chord.
    if (depth <= s.oneUpTo && depth >= s.belowTwoFrom)
      return false;
  }
  const Found found = Explore(depth, keyIndex, chordId);
  Summary& s = summaries[id];  // looked up again: the exploration may have added entries
  if (found.count >= 2) {
    s.twoUpTo = std::max(s.twoUpTo, depth);
  } else {
    s.belowTwoFrom = std::min(s.belowTwoFrom, depth);
  }
  if (found.count >= 1) {
    if (depth > s.oneUpTo) {
      s.oneUpTo = depth;
      s.witnessClass = found.firstClass;
    }
  } else {
    s.noneFrom = std::min(s.noneFrom, depth);
  }
  return found.count >= 2 || (found.count == 1 && found.firstClass != previousClass);
}

ProgressionSearch::Impl::TopLevel ProgressionSearch::Impl::BuildTopLevel(
    std::int32_t depth, const Chord& previous, const ProgressionStep& current) {
  TopLevel top;
  const std::int32_t pivotId = Intern(current.chord);
  const std::int32_t pivotClass = chords[pivotId].equalityClass;
  const std::int32_t previousClass = chords[Intern(previous)].equalityClass;
  const Key key = current.key;
  const int keyIndex = CandidateKeyIndex(key);
  const ScaleDegree pivot =
      keyIndex >= 0 ? CandidatePivotDegree(keyIndex, pivotId) : PivotDegree(key, current.chord);
  if (pivot < 1 || pivot > 7)
    return top;

  // The chains accepted after a re-reading into (key, degree) do not depend
  // on the substitution rule, so each pair is worked out once.
  std::map<std::pair<int, ScaleDegree>, std::int32_t> listOf;
  std::vector<std::int64_t> listSums;
  const auto acceptedList = [&](int k, ScaleDegree to) {
    const auto [slot, inserted] =
        listOf.try_emplace({k, to}, static_cast<std::int32_t>(top.lists.size()));
    if (!inserted)
      return slot->second;
    std::vector<std::int32_t> accepted;
    std::int64_t sum = 0;
    const auto& groups = modes[k & 1].chainsByFirst;
    if (const auto group = groups.find(to); group != groups.end()) {
      for (const std::int32_t c : group->second.rules) {
        const ChainInfo chain = chains[c];
        const std::int32_t end = EndChord(k, chain.endClass);
        if (end < 0 || chords[end].equalityClass == previousClass)
          continue;
        const bool leadsHome = IsHome(k) || (DepthAllows(depth, chain.steps, MaxDepth) &&
                                             Accepts(depth + chain.steps, pivotClass, k, end));
        if (!leadsHome)
          continue;
        accepted.push_back(c);
        sum = SaturatingAdd(sum, EffectiveWeight(tables.connection[c].Weight));
      }
    }
    top.lists.push_back(std::move(accepted));
    listSums.push_back(sum);
    return slot->second;
  };
  const auto visitRule = [&](std::int32_t s) {
    if (substitutionKeys[s] == 0)
      return;  // no chain continues from its degree in any key
    const SubstitutionRule& rule = tables.substitution[s];
    const std::int64_t weight = EffectiveWeight(rule.Weight);
    std::uint32_t mask = FitMask(pivotId, rule.ToDegree) & substitutionKeys[s];
    while (mask != 0) {
      const int k = std::countr_zero(mask);
      mask &= mask - 1;
      const std::int32_t list = acceptedList(k, rule.ToDegree);
      if (top.lists[list].empty())
        continue;
      const std::int64_t blockWeight = SaturatingMultiply(weight, listSums[list]);
      top.blocks.push_back(Block{s, k, list, blockWeight});
      top.total = SaturatingAdd(top.total, blockWeight);
    }
  };

  if (keyIndex >= 0) {
    for (const std::int32_t s : modes[ModeBucket(key.mode)].substitutionsByFrom[pivot]) {
      visitRule(s);
    }
  } else {
    for (std::size_t s = 0; s < tables.substitution.size(); ++s) {
      const SubstitutionRule& rule = tables.substitution[s];
      // Until a key is established only re-readings as the tonic count.
      if (key.tonic.letter == ' ' && rule.ToDegree != 1)
        continue;
      if (!RuleAppliesIn(rule.Mode, key.mode) || rule.FromDegree != pivot)
        continue;
      visitRule(static_cast<std::int32_t>(s));
    }
  }
  return top;
}

Plan ProgressionSearch::Impl::MakePlan(int keyIndex, std::int32_t connection, std::int64_t weight) {
  const Key key = CandidateKeys()[keyIndex];
  const ConnectionRule& rule = tables.connection[connection];
  const ChainInfo chain = chains[connection];
  Plan plan;
  plan.Weight = weight;
  plan.Steps.reserve(static_cast<std::size_t>(chain.steps));
  for (std::int32_t i = 1; i < chain.steps; ++i) {
    plan.Steps.push_back({key, harmony::BuildChordOnDegree(key, rule.Degrees[i])});
  }
  plan.Steps.push_back({key, chords[EndChord(keyIndex, chain.endClass)].chord});
  return plan;
}

std::vector<RuledPlan> ProgressionSearch::Candidates(const SearchTables& tables, std::int32_t depth,
                                                     const Chord& previous,
                                                     const ProgressionStep& current) {
  Impl& impl = *impl_;
  impl.Prepare(tables);
  const Impl::TopLevel top = impl.BuildTopLevel(depth, previous, current);
  std::vector<RuledPlan> candidates;
  for (const Impl::Block& block : top.blocks) {
    const std::int64_t weight = EffectiveWeight(tables.substitution[block.substitution].Weight);
    for (const std::int32_t c : top.lists[block.list]) {
      candidates.push_back(
          {impl.MakePlan(block.key, c,
                         SaturatingMultiply(weight, EffectiveWeight(tables.connection[c].Weight))),
           static_cast<std::size_t>(block.substitution), static_cast<std::size_t>(c)});
    }
  }
  return candidates;
}

PlanSet ProgressionSearch::Collect(const SearchTables& tables, std::int32_t depth,
                                   const Chord& previous, const ProgressionStep& current) {
  PlanSet set;
  for (RuledPlan& candidate : Candidates(tables, depth, previous, current)) {
    set.TotalWeight = SaturatingAdd(set.TotalWeight, candidate.plan.Weight);
    set.Plans.push_back(std::move(candidate.plan));
  }
  return set;
}

std::optional<RuledPlan> ProgressionSearch::Choose(const SearchTables& tables, std::int32_t depth,
                                                   const Chord& previous,
                                                   const ProgressionStep& current,
                                                   RandomSource& random) {
  Impl& impl = *impl_;
  impl.Prepare(tables);
  const Impl::TopLevel top = impl.BuildTopLevel(depth, previous, current);
  if (top.total == 0)
    return std::nullopt;
  const std::int64_t r = DrawBelow(random, top.total);
  std::int64_t sum = 0;
  for (const Impl::Block& block : top.blocks) {
    if (r >= SaturatingAdd(sum, block.weight)) {
      sum = SaturatingAdd(sum, block.weight);
      continue;
    }
    const std::int64_t weight = EffectiveWeight(tables.substitution[block.substitution].Weight);
    for (const std::int32_t c : top.lists[block.list]) {
      const std::int64_t planWeight =
          SaturatingMultiply(weight, EffectiveWeight(tables.connection[c].Weight));
      sum = SaturatingAdd(sum, planWeight);
      if (r < sum) {
        return RuledPlan{impl.MakePlan(block.key, c, planWeight),
                         static_cast<std::size_t>(block.substitution), static_cast<std::size_t>(c)};
      }
    }
  }
  return std::nullopt;  // not reached: r is below the total
}

}  // namespace sonavela::generator
