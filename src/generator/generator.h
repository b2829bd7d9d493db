#pragma once
// Public surface that the playback layer relies on; the generator layer owns
// the rest of this file.

#include <cstdint>
#include <span>

#include "generator/rules.h"
#include "harmony/chord.h"
#include "harmony/note.h"

namespace sonavela::generator {

struct ProgressionStep {
  harmony::Key key;
  harmony::Chord chord;

  friend bool operator==(const ProgressionStep&, const ProgressionStep&) = default;
};

class ProgressionGenerator {
 public:
  static constexpr std::int32_t MaxDepth = 16;

  ProgressionGenerator();  // C major, no rules, the tonic step queued

  void ClearRules();
  // False (and nothing stored) when the table already holds RuleCapacity rules.
  bool AddConnectionRule(const ConnectionRule& rule);
  bool AddSubstitutionRule(const SubstitutionRule& rule);
  void SetHomeKey(harmony::Key key);

  void Reset();
  [[nodiscard]] ProgressionStep PopStep();  // CurrentStep when the queue is empty
  void Advance();

  // Initial state of the random source (1 at program start). Never reseeded
  // by Reset.
  void SetRandomState(std::uint32_t state);
};

}  // namespace sonavela::generator
