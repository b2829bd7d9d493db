#include "generator/search.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace sonavela::generator {

using harmony::Chord;
using harmony::Key;
using harmony::ScaleDegree;

namespace {

constexpr std::int64_t kMaxWeight = std::numeric_limits<std::int64_t>::max();

// 0 major, 1 minor, -1 for a mode no key has.
int ModeBucket(char mode) {
  if (mode == harmony::kMajor)
    return 0;
  if (mode == harmony::kMinor)
    return 1;
  return -1;
}

bool RuleAppliesIn(char ruleMode, int bucket) {
  return ruleMode == '?' || ModeBucket(ruleMode) == bucket;
}

bool RuleAppliesIn(char ruleMode, char keyMode) {
  return ruleMode == '?' || ruleMode == keyMode;
}

// Corrections other than these three alter nothing, so they share one chain end.
char CorrectionKind(char correction) {
  return correction == 'M' || correction == 'm' || correction == 'n' ? correction : ' ';
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  return a > kMaxWeight - b ? kMaxWeight : a + b;
}

std::int64_t SaturatingMultiply(std::int64_t a, std::int64_t b) {
  if (a != 0 && b > kMaxWeight / a)
    return kMaxWeight;
  return a * b;
}

bool DepthAllows(std::int32_t depth, std::int32_t steps, std::int32_t maxDepth) {
  return static_cast<std::int64_t>(depth) + steps < maxDepth;
}

}  // namespace

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

namespace {

// A chord that is no triad of its key (a correction made it foreign) is taken
// as a dominant when it is a major triad and as a subdominant when it is a
// minor one; any other shape has no degree.
ScaleDegree ForeignChordDegree(const Chord& chord) {
  const std::int32_t third = chord.type.tones[1].delta;
  const std::int32_t fifth = chord.type.tones[2].delta;
  if (third == 0 && fifth == -1)
    return 5;
  if (third == -1 && fifth == -1)
    return 4;
  return 0;
}

}  // namespace

ScaleDegree PivotDegree(Key key, const Chord& chord) {
  if (key.tonic.letter == ' ')
    return 1;
  const ScaleDegree degree = harmony::DegreeOfChord(key, chord);
  return degree != 0 ? degree : ForeignChordDegree(chord);
}

void ProgressionSearch::Invalidate() {
  stale_ = true;
}

void ProgressionSearch::Prepare(const SearchTables& tables) {
  tables_ = tables;
  if (!stale_)
    return;
  stale_ = false;

  homeIndex_ = CandidateKeyIndex(tables.home);
  chains_.assign(tables.connection.size(), ChainInfo{});
  endClasses_.clear();
  modes_ = {};
  for (std::size_t c = 0; c < tables.connection.size(); ++c) {
    const ConnectionRule& rule = tables.connection[c];
    const std::size_t length = ChainLength(rule);
    // A chain needs the pivot and at least one chord of its own.
    if (length < 2)
      continue;
    const EndClass end{rule.Degrees[length - 1], CorrectionKind(rule.Correction)};
    auto found = std::find_if(endClasses_.begin(), endClasses_.end(), [&](const EndClass& e) {
      return e.lastDegree == end.lastDegree && e.correction == end.correction;
    });
    if (found == endClasses_.end())
      found = endClasses_.insert(endClasses_.end(), end);
    const ChainInfo chain{static_cast<std::int32_t>(length - 1),
                          static_cast<std::int32_t>(found - endClasses_.begin())};
    chains_[c] = chain;
    for (int bucket = 0; bucket < kModes; ++bucket) {
      if (!RuleAppliesIn(rule.Mode, bucket))
        continue;
      ConnGroup& group = modes_[bucket].chainsByFirst[rule.Degrees[0]];
      group.rules.push_back(static_cast<std::int32_t>(c));
      const std::pair<std::int32_t, std::int32_t> entry{chain.endClass, chain.steps};
      if (std::find(group.ends.begin(), group.ends.end(), entry) == group.ends.end()) {
        group.ends.push_back(entry);
      }
    }
  }
  for (std::size_t s = 0; s < tables.substitution.size(); ++s) {
    const SubstitutionRule& rule = tables.substitution[s];
    if (rule.FromDegree < 1 || rule.FromDegree > 7)
      continue;  // pivot degrees are 1..7
    for (int bucket = 0; bucket < kModes; ++bucket) {
      if (!RuleAppliesIn(rule.Mode, bucket))
        continue;
      ModeIndex& index = modes_[bucket];
      index.substitutionsByFrom[rule.FromDegree].push_back(static_cast<std::int32_t>(s));
      auto& targets = index.distinctTo[rule.FromDegree];
      if (std::find(targets.begin(), targets.end(), rule.ToDegree) == targets.end()) {
        targets.push_back(rule.ToDegree);
      }
    }
  }
  endChords_.assign(kCandidateKeyCount * endClasses_.size(), kUnknownEnd);
  chords_.clear();
  chordIds_.clear();
  classIds_.clear();
  summaries_.clear();
}

std::int32_t ProgressionSearch::Intern(const Chord& chord) {
  ChordKey key{};
  key[0] = chord.root.letter;
  key[1] = chord.root.accidental;
  key[2] = chord.type.kind;
  for (std::size_t i = 0; i < harmony::kToneSlots; ++i) {
    key[3 + 2 * i] = chord.type.tones[i].steps;
    key[4 + 2 * i] = chord.type.tones[i].delta;
  }
  if (const auto found = chordIds_.find(key); found != chordIds_.end())
    return found->second;

  // ChordsEqual ignores the kind and everything from the first negative step on.
  ChordKey canonical = key;
  canonical[2] = 0;
  bool ended = false;
  for (std::size_t i = 0; i < harmony::kToneSlots; ++i) {
    ended = ended || canonical[3 + 2 * i] < 0;
    if (ended) {
      canonical[3 + 2 * i] = -1;
      canonical[4 + 2 * i] = 0;
    }
  }
  const auto [cls, inserted] =
      classIds_.try_emplace(canonical, static_cast<std::int32_t>(classIds_.size()));
  const auto id = static_cast<std::int32_t>(chords_.size());
  chords_.push_back(ChordInfo{chord, cls->second, 0, {}});
  chordIds_.emplace(key, id);
  return id;
}

std::uint32_t ProgressionSearch::FitMask(std::int32_t chordId, ScaleDegree degree) {
  const auto& keys = CandidateKeys();
  const auto compute = [&](ScaleDegree d) {
    const Chord chord = chords_[chordId].chord;
    std::uint32_t mask = 0;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      if (harmony::ChordFitsKey(keys[k], d, chord))
        mask |= 1u << k;
    }
    return mask;
  };
  // Degrees above 7 fold onto 1..7 wherever a key reads them; 0 and negative
  // degrees do not, and only odd tables use them, so they are not kept.
  if (degree < 1)
    return compute(degree);
  const int folded = (degree - 1) % 7;
  ChordInfo& info = chords_[chordId];
  if ((info.fitReady & (1u << folded)) == 0) {
    info.fit[folded] = compute(folded + 1);
    info.fitReady |= static_cast<std::uint8_t>(1u << folded);
  }
  return info.fit[folded];
}

ScaleDegree ProgressionSearch::CandidatePivotDegree(int keyIndex, std::int32_t chordId) {
  for (ScaleDegree d = 1; d <= 7; ++d) {
    if ((FitMask(chordId, d) >> keyIndex) & 1u)
      return d;
  }
  return ForeignChordDegree(chords_[chordId].chord);
}

std::int32_t ProgressionSearch::EndChord(int keyIndex, std::int32_t endClass) {
  const std::size_t slot =
      static_cast<std::size_t>(keyIndex) * endClasses_.size() + static_cast<std::size_t>(endClass);
  if (endChords_[slot] == kUnknownEnd) {
    endChords_[slot] = EndChordAnyKey(CandidateKeys()[keyIndex], -1, endClass);
  }
  return endChords_[slot];
}

std::int32_t ProgressionSearch::EndChordAnyKey(Key key, int keyIndex, std::int32_t endClass) {
  if (keyIndex >= 0)
    return EndChord(keyIndex, endClass);
  const EndClass end = endClasses_[endClass];
  const auto chord =
      ApplyCorrection(harmony::BuildChordOnDegree(key, end.lastDegree), end.correction);
  return chord ? Intern(*chord) : kRefusedEnd;
}

template <typename Visit>
void ProgressionSearch::ForEachTargetDegree(Key key, int keyIndex, ScaleDegree pivotDegree,
                                            Visit visit) {
  if (pivotDegree < 1 || pivotDegree > 7)
    return;
  if (keyIndex >= 0) {
    for (const ScaleDegree to : modes_[ModeBucket(key.mode)].distinctTo[pivotDegree]) {
      if (!visit(to))
        return;
    }
    return;
  }
  std::vector<ScaleDegree> seen;
  for (const SubstitutionRule& rule : tables_.substitution) {
    if (key.tonic.letter == ' ' && rule.ToDegree != 1)
      continue;
    if (!RuleAppliesIn(rule.Mode, key.mode) || rule.FromDegree != pivotDegree)
      continue;
    if (std::find(seen.begin(), seen.end(), rule.ToDegree) != seen.end())
      continue;
    seen.push_back(rule.ToDegree);
    if (!visit(rule.ToDegree))
      return;
  }
}

ProgressionSearch::Found ProgressionSearch::Explore(std::int32_t depth, Key key, int keyIndex,
                                                    std::int32_t chordId) {
  const ScaleDegree pivot = keyIndex >= 0 ? CandidatePivotDegree(keyIndex, chordId)
                                          : PivotDegree(key, chords_[chordId].chord);
  const std::int32_t pivotClass = chords_[chordId].equalityClass;
  Found found;
  ForEachTargetDegree(key, keyIndex, pivot, [&](ScaleDegree to) {
    std::uint32_t mask = FitMask(chordId, to);
    while (mask != 0) {
      const int k = std::countr_zero(mask);
      mask &= mask - 1;
      const auto& groups = modes_[k & 1].chainsByFirst;  // even rows major, odd minor
      const auto group = groups.find(to);
      if (group == groups.end())
        continue;
      for (const auto& [endClass, steps] : group->second.ends) {
        const std::int32_t end = EndChord(k, endClass);
        if (end < 0)
          continue;
        const std::int32_t cls = chords_[end].equalityClass;
        if (found.count > 0 && cls == found.firstClass)
          continue;
        const bool leadsHome = IsHome(k) || (DepthAllows(depth, steps, MaxDepth) &&
                                             Accepts(depth + steps, pivotClass, k, end));
        if (!leadsHome)
          continue;
        if (found.count == 0) {
          found = {1, cls};
        } else {
          found.count = 2;
          return false;
        }
      }
    }
    return true;
  });
  return found;
}

bool ProgressionSearch::Accepts(std::int32_t depth, std::int32_t previousClass, int keyIndex,
                                std::int32_t chordId) {
  const std::uint64_t id =
      (static_cast<std::uint64_t>(chordId) << 5) | static_cast<std::uint64_t>(keyIndex);
  if (const auto known = summaries_.find(id); known != summaries_.end()) {
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
  const Found found = Explore(depth, CandidateKeys()[keyIndex], keyIndex, chordId);
  Summary& s = summaries_[id];  // looked up again: the exploration may have added entries
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

bool ProgressionSearch::ProbeFrom(std::int32_t depth, std::int32_t previousClass, Key key,
                                  std::int32_t chordId) {
  const int keyIndex = CandidateKeyIndex(key);
  if (keyIndex >= 0)
    return Accepts(depth, previousClass, keyIndex, chordId);
  const Found found = Explore(depth, key, -1, chordId);
  return found.count >= 2 || (found.count == 1 && found.firstClass != previousClass);
}

ProgressionSearch::TopLevel ProgressionSearch::BuildTopLevel(std::int32_t depth,
                                                             const Chord& previous,
                                                             const ProgressionStep& current) {
  TopLevel top;
  const std::int32_t pivotId = Intern(current.chord);
  const std::int32_t pivotClass = chords_[pivotId].equalityClass;
  const std::int32_t previousClass = chords_[Intern(previous)].equalityClass;
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
    const auto& groups = modes_[k & 1].chainsByFirst;
    if (const auto group = groups.find(to); group != groups.end()) {
      for (const std::int32_t c : group->second.rules) {
        const ChainInfo chain = chains_[c];
        const std::int32_t end = EndChord(k, chain.endClass);
        if (end < 0 || chords_[end].equalityClass == previousClass)
          continue;
        const bool leadsHome = IsHome(k) || (DepthAllows(depth, chain.steps, MaxDepth) &&
                                             Accepts(depth + chain.steps, pivotClass, k, end));
        if (!leadsHome)
          continue;
        accepted.push_back(c);
        sum = SaturatingAdd(sum, EffectiveWeight(tables_.connection[c].Weight));
      }
    }
    top.lists.push_back(std::move(accepted));
    listSums.push_back(sum);
    return slot->second;
  };
  const auto visitRule = [&](std::int32_t s) {
    const SubstitutionRule& rule = tables_.substitution[s];
    const std::int64_t weight = EffectiveWeight(rule.Weight);
    std::uint32_t mask = FitMask(pivotId, rule.ToDegree);
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
    for (const std::int32_t s : modes_[ModeBucket(key.mode)].substitutionsByFrom[pivot]) {
      visitRule(s);
    }
  } else {
    for (std::size_t s = 0; s < tables_.substitution.size(); ++s) {
      const SubstitutionRule& rule = tables_.substitution[s];
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

Plan ProgressionSearch::MakePlan(int keyIndex, std::int32_t connection, std::int64_t weight) {
  const Key key = CandidateKeys()[keyIndex];
  const ConnectionRule& rule = tables_.connection[connection];
  const ChainInfo chain = chains_[connection];
  Plan plan;
  plan.Weight = weight;
  plan.Steps.reserve(static_cast<std::size_t>(chain.steps));
  for (std::int32_t i = 1; i < chain.steps; ++i) {
    plan.Steps.push_back({key, harmony::BuildChordOnDegree(key, rule.Degrees[i])});
  }
  plan.Steps.push_back({key, chords_[EndChord(keyIndex, chain.endClass)].chord});
  return plan;
}

PlanSet ProgressionSearch::Collect(const SearchTables& tables, std::int32_t depth,
                                   const Chord& previous, const ProgressionStep& current) {
  Prepare(tables);
  const TopLevel top = BuildTopLevel(depth, previous, current);
  PlanSet set;
  for (const Block& block : top.blocks) {
    const std::int64_t weight = EffectiveWeight(tables_.substitution[block.substitution].Weight);
    for (const std::int32_t c : top.lists[block.list]) {
      set.Plans.push_back(MakePlan(
          block.key, c, SaturatingMultiply(weight, EffectiveWeight(tables_.connection[c].Weight))));
    }
  }
  set.TotalWeight = top.total;
  return set;
}

std::optional<Plan> ProgressionSearch::Choose(const SearchTables& tables, std::int32_t depth,
                                              const Chord& previous, const ProgressionStep& current,
                                              RandomSource& random) {
  Prepare(tables);
  const TopLevel top = BuildTopLevel(depth, previous, current);
  if (top.total == 0)
    return std::nullopt;
  const std::int64_t r = DrawThirtyBits(random) % top.total;
  std::int64_t sum = 0;
  for (const Block& block : top.blocks) {
    if (r >= SaturatingAdd(sum, block.weight)) {
      sum = SaturatingAdd(sum, block.weight);
      continue;
    }
    const std::int64_t weight = EffectiveWeight(tables_.substitution[block.substitution].Weight);
    for (const std::int32_t c : top.lists[block.list]) {
      const std::int64_t planWeight =
          SaturatingMultiply(weight, EffectiveWeight(tables_.connection[c].Weight));
      sum = SaturatingAdd(sum, planWeight);
      if (r < sum)
        return MakePlan(block.key, c, planWeight);
    }
  }
  return std::nullopt;  // not reached: r is below the total
}

bool ProgressionSearch::Probe(const SearchTables& tables, std::int32_t depth, const Chord& previous,
                              const ProgressionStep& current) {
  Prepare(tables);
  const std::int32_t pivotId = Intern(current.chord);
  const std::int32_t previousClass = chords_[Intern(previous)].equalityClass;
  return ProbeFrom(depth, previousClass, current.key, pivotId);
}

bool ProgressionSearch::SearchChains(const SearchTables& tables, bool probeOnly, std::int32_t depth,
                                     const Chord& previous, const Chord& pivot, Key newKey,
                                     ScaleDegree pivotDegree, std::int32_t substitutionWeight,
                                     PlanSet& set) {
  Prepare(tables);
  const std::int32_t pivotClass = chords_[Intern(pivot)].equalityClass;
  const std::int32_t previousClass = chords_[Intern(previous)].equalityClass;
  const int keyIndex = CandidateKeyIndex(newKey);
  const std::int64_t weight = EffectiveWeight(substitutionWeight);
  for (std::size_t c = 0; c < tables_.connection.size(); ++c) {
    const ConnectionRule& rule = tables_.connection[c];
    const ChainInfo chain = chains_[c];
    if (!RuleAppliesIn(rule.Mode, newKey.mode) || rule.Degrees[0] != pivotDegree)
      continue;
    if (chain.steps == 0)
      continue;
    const std::int32_t end = EndChordAnyKey(newKey, keyIndex, chain.endClass);
    if (end < 0 || chords_[end].equalityClass == previousClass)
      continue;
    const bool leadsHome =
        IsHome(newKey) || (DepthAllows(depth, chain.steps, MaxDepth) &&
                           ProbeFrom(depth + chain.steps, pivotClass, newKey, end));
    if (!leadsHome)
      continue;
    if (probeOnly)
      return true;
    Plan plan;
    plan.Weight = SaturatingMultiply(weight, EffectiveWeight(rule.Weight));
    for (std::int32_t i = 1; i < chain.steps; ++i) {
      plan.Steps.push_back({newKey, harmony::BuildChordOnDegree(newKey, rule.Degrees[i])});
    }
    plan.Steps.push_back({newKey, chords_[end].chord});
    set.TotalWeight = SaturatingAdd(set.TotalWeight, plan.Weight);
    set.Plans.push_back(std::move(plan));
  }
  return false;
}

std::size_t ProgressionSearch::ApproximateBytes() const {
  constexpr std::size_t kNode = 4 * sizeof(void*);  // allocator and link overhead per node
  std::size_t bytes = sizeof(*this);
  bytes += chains_.capacity() * sizeof(ChainInfo) + endClasses_.capacity() * sizeof(EndClass);
  bytes += endChords_.capacity() * sizeof(std::int32_t);
  bytes += chords_.capacity() * sizeof(ChordInfo);
  bytes +=
      (chordIds_.size() + classIds_.size()) * (sizeof(ChordKey) + sizeof(std::int32_t) + kNode);
  bytes += summaries_.size() * (sizeof(std::uint64_t) + sizeof(Summary) + kNode) +
           summaries_.bucket_count() * sizeof(void*);
  for (const ModeIndex& index : modes_) {
    for (const auto& list : index.substitutionsByFrom)
      bytes += list.capacity() * sizeof(std::int32_t);
    for (const auto& list : index.distinctTo)
      bytes += list.capacity() * sizeof(ScaleDegree);
    for (const auto& [first, group] : index.chainsByFirst) {
      bytes += sizeof(first) + sizeof(group) + kNode +
               group.rules.capacity() * sizeof(std::int32_t) +
               group.ends.capacity() * sizeof(group.ends[0]);
    }
  }
  return bytes;
}

}  // namespace sonavela::generator
