// SPDX-License-Identifier: GPL-3.0-or-later
// The indexes the search builds from the tables and the caches it fills as it
// goes: interned chords, fit masks, chain ends.

#include <algorithm>

#include "generator/search_impl.h"

namespace sonavela::generator {

using harmony::Chord;
using harmony::ScaleDegree;
using search_detail::ForeignChordDegree;
using search_detail::RuleAppliesIn;

namespace {

// The key's own triad on each degree 1..7, for every candidate key: what
// ChordFitsKey looks for, worked out once.
using Triads = std::array<std::array<std::array<harmony::SpelledNote, 3>, 7>, kCandidateKeyCount>;

const Triads& CandidateTriads() {
  static const Triads triads = [] {
    Triads made{};
    for (std::size_t k = 0; k < kCandidateKeyCount; ++k) {
      for (ScaleDegree d = 1; d <= 7; ++d) {
        for (std::size_t t = 0; t < 3; ++t) {
          made[k][static_cast<std::size_t>(d - 1)][t] =
              harmony::DegreeRoot(CandidateKeys()[k], d + 2 * static_cast<ScaleDegree>(t));
        }
      }
    }
    return made;
  }();
  return triads;
}

// Corrections other than these three alter nothing, so they share one chain end.
char CorrectionKind(char correction) {
  return correction == 'M' || correction == 'm' || correction == 'n' ? correction : ' ';
}

}  // namespace

void ProgressionSearch::Impl::Prepare(const SearchTables& newTables) {
  tables = newTables;
  if (!stale)
    return;
  stale = false;

  homeIndex = CandidateKeyIndex(tables.home);
  chains.assign(tables.connection.size(), ChainInfo{});
  endClasses.clear();
  modes = {};
  for (std::size_t c = 0; c < tables.connection.size(); ++c) {
    const ConnectionRule& rule = tables.connection[c];
    const std::size_t length = ChainLength(rule);
    // A chain needs the pivot and at least one chord of its own.
    if (length < 2)
      continue;
    const EndClass end{rule.Degrees[length - 1], CorrectionKind(rule.Correction)};
    auto found = std::find_if(endClasses.begin(), endClasses.end(), [&](const EndClass& e) {
      return e.lastDegree == end.lastDegree && e.correction == end.correction;
    });
    if (found == endClasses.end())
      found = endClasses.insert(endClasses.end(), end);
    const ChainInfo chain{static_cast<std::int32_t>(length - 1),
                          static_cast<std::int32_t>(found - endClasses.begin())};
    chains[c] = chain;
    for (int bucket = 0; bucket < kModes; ++bucket) {
      if (!RuleAppliesIn(rule.Mode, bucket))
        continue;
      ConnGroup& group = modes[bucket].chainsByFirst[rule.Degrees[0]];
      group.rules.push_back(static_cast<std::int32_t>(c));
      const std::pair<std::int32_t, std::int32_t> entry{chain.endClass, chain.steps};
      if (std::find(group.ends.begin(), group.ends.end(), entry) == group.ends.end()) {
        group.ends.push_back(entry);
      }
    }
  }
  const auto chainKeys = [&](ScaleDegree first) {
    constexpr std::uint32_t kMajorKeys = 0x55555555u;  // even candidate keys are major
    std::uint32_t keys = 0;
    if (modes[0].chainsByFirst.contains(first))
      keys |= kMajorKeys;
    if (modes[1].chainsByFirst.contains(first))
      keys |= ~kMajorKeys;
    return keys;
  };
  lowDegrees.clear();
  substitutionKeys.assign(tables.substitution.size(), 0);
  for (std::size_t s = 0; s < tables.substitution.size(); ++s) {
    const SubstitutionRule& rule = tables.substitution[s];
    substitutionKeys[s] = chainKeys(rule.ToDegree);
    if (rule.ToDegree < 1)
      lowDegrees.push_back(rule.ToDegree);
    if (rule.FromDegree < 1 || rule.FromDegree > 7)
      continue;  // pivot degrees are 1..7
    for (int bucket = 0; bucket < kModes; ++bucket) {
      if (!RuleAppliesIn(rule.Mode, bucket))
        continue;
      ModeIndex& index = modes[bucket];
      index.substitutionsByFrom[rule.FromDegree].push_back(static_cast<std::int32_t>(s));
      auto& targets = index.distinctTo[rule.FromDegree];
      if (std::none_of(targets.begin(), targets.end(),
                       [&](const Target& t) { return t.degree == rule.ToDegree; })) {
        targets.push_back({rule.ToDegree, substitutionKeys[s]});
      }
    }
  }
  std::sort(lowDegrees.begin(), lowDegrees.end());
  lowDegrees.erase(std::unique(lowDegrees.begin(), lowDegrees.end()), lowDegrees.end());
  endChords.assign(kCandidateKeyCount * endClasses.size(), kUnknownEnd);
  chords.clear();
  lowFits.clear();
  chordIds.clear();
  classIds.clear();
  summaries.clear();
}

std::int32_t ProgressionSearch::Impl::Intern(const Chord& chord) {
  ChordKey key{};
  key[0] = chord.root.letter;
  key[1] = chord.root.accidental;
  key[2] = chord.type.kind;
  for (std::size_t i = 0; i < harmony::kToneSlots; ++i) {
    key[3 + 2 * i] = chord.type.tones[i].steps;
    key[4 + 2 * i] = chord.type.tones[i].delta;
  }
  if (const auto found = chordIds.find(key); found != chordIds.end())
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
      classIds.try_emplace(canonical, static_cast<std::int32_t>(classIds.size()));
  const auto id = static_cast<std::int32_t>(chords.size());
  chords.push_back(ChordInfo{chord, cls->second, 0, {}});
  lowFits.resize(chords.size() * lowDegrees.size(), kUnknownFit);
  chordIds.emplace(key, id);
  return id;
}

std::uint32_t ProgressionSearch::Impl::FitMask(std::int32_t chordId, ScaleDegree degree) {
  const auto compute = [&](ScaleDegree d) {
    const auto& keys = CandidateKeys();
    const Chord chord = chords[chordId].chord;
    std::uint32_t mask = 0;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      if (harmony::ChordFitsKey(keys[k], d, chord))
        mask |= 1u << k;
    }
    return mask;
  };
  if (degree < 1) {
    const auto slot = std::lower_bound(lowDegrees.begin(), lowDegrees.end(), degree);
    if (slot == lowDegrees.end() || *slot != degree)
      return compute(degree);  // no rule re-reads as this degree: nothing to keep
    std::uint64_t& fit = lowFits[static_cast<std::size_t>(chordId) * lowDegrees.size() +
                                 static_cast<std::size_t>(slot - lowDegrees.begin())];
    if (fit == kUnknownFit)
      fit = compute(degree);
    return static_cast<std::uint32_t>(fit);
  }
  // Degrees above 7 fold onto 1..7 wherever a key reads them.
  const int folded = (degree - 1) % 7;
  ChordInfo& info = chords[chordId];
  if ((info.fitReady & (1u << folded)) == 0) {
    // ChordFitsKey for every key at once: the chord's tones are spelled once.
    const harmony::ToneList tones = harmony::ChordTones(info.chord);
    // As there, a blank letter ends the tones.
    const auto* const last = std::find_if(
        tones.begin(), tones.end(), [](harmony::SpelledNote note) { return note.letter == ' '; });
    const auto& triads = CandidateTriads();
    std::uint32_t mask = 0;
    for (std::size_t k = 0; k < kCandidateKeyCount; ++k) {
      const auto& wanted = triads[k][static_cast<std::size_t>(folded)];
      const bool fits = std::all_of(wanted.begin(), wanted.end(), [&](harmony::SpelledNote note) {
        return std::find(tones.begin(), last, note) != last;
      });
      if (fits)
        mask |= 1u << k;
    }
    info.fit[folded] = mask;
    info.fitReady |= static_cast<std::uint8_t>(1u << folded);
  }
  return info.fit[folded];
}

ScaleDegree ProgressionSearch::Impl::CandidatePivotDegree(int keyIndex, std::int32_t chordId) {
  for (ScaleDegree d = 1; d <= 7; ++d) {
    if ((FitMask(chordId, d) >> keyIndex) & 1u)
      return d;
  }
  return ForeignChordDegree(chords[chordId].chord);
}

std::int32_t ProgressionSearch::Impl::EndChord(int keyIndex, std::int32_t endClass) {
  const std::size_t slot =
      static_cast<std::size_t>(keyIndex) * endClasses.size() + static_cast<std::size_t>(endClass);
  if (endChords[slot] == kUnknownEnd) {
    const EndClass end = endClasses[endClass];
    const auto chord = ApplyCorrection(
        harmony::BuildChordOnDegree(CandidateKeys()[keyIndex], end.lastDegree), end.correction);
    endChords[slot] = chord ? Intern(*chord) : kRefusedEnd;
  }
  return endChords[slot];
}

std::size_t ProgressionSearch::Impl::ApproximateBytes() const {
  constexpr std::size_t kNode = 4 * sizeof(void*);  // allocator and link overhead per node
  std::size_t bytes = sizeof(ProgressionSearch) + sizeof(*this);
  bytes += chains.capacity() * sizeof(ChainInfo) + endClasses.capacity() * sizeof(EndClass);
  bytes += endChords.capacity() * sizeof(std::int32_t);
  bytes += substitutionKeys.capacity() * sizeof(std::uint32_t);
  bytes += chords.capacity() * sizeof(ChordInfo);
  bytes += lowDegrees.capacity() * sizeof(ScaleDegree) + lowFits.capacity() * sizeof(std::uint64_t);
  bytes += (chordIds.size() + classIds.size()) * (sizeof(ChordKey) + sizeof(std::int32_t) + kNode);
  bytes += summaries.size() * (sizeof(std::uint64_t) + sizeof(Summary) + kNode) +
           summaries.bucket_count() * sizeof(void*);
  for (const ModeIndex& index : modes) {
    for (const auto& list : index.substitutionsByFrom)
      bytes += list.capacity() * sizeof(std::int32_t);
    for (const auto& list : index.distinctTo)
      bytes += list.capacity() * sizeof(Target);
    for (const auto& [first, group] : index.chainsByFirst) {
      bytes += sizeof(first) + sizeof(group) + kNode +
               group.rules.capacity() * sizeof(std::int32_t) +
               group.ends.capacity() * sizeof(group.ends[0]);
    }
  }
  return bytes;
}

}  // namespace sonavela::generator
