// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progression search exactly as designed: depth-first, no index, no
// cache. Slow, but it is the reference the generator's search must agree
// with, plan for plan and draw for draw.

#include <bit>
#include <chrono>
#include <cstdint>
#include <deque>
#include <limits>
#include <span>
#include <vector>

#include "generator/plan.h"
#include "generator/random_source.h"
#include "generator/rules.h"
#include "harmony/chord.h"
#include "harmony/note.h"

namespace sonavela::generator::literal {

using Clock = std::chrono::steady_clock;

// Thrown when a search makes more SearchPivots calls than it was allowed, or
// runs past its deadline.
struct BudgetExceeded {};

class LiteralSearch {
 public:
  static constexpr std::int32_t kMaxDepth = 16;

  LiteralSearch(std::span<const ConnectionRule> connection,
                std::span<const SubstitutionRule> substitution, harmony::Key home,
                std::uint64_t budget = std::numeric_limits<std::uint64_t>::max(),
                Clock::time_point deadline = Clock::time_point::max())
      : connection_(connection),
        substitution_(substitution),
        home_(home),
        budget_(budget),
        deadline_(deadline) {
    harmony::SpelledNote tonic{'G', -1};
    for (int k = 0; k < 16; ++k) {
      majors_.push_back({tonic, ' '});
      minors_.push_back({harmony::MoveByWholeTones(tonic, {-2, +1}), 'm'});
      tonic = harmony::MoveByWholeTones(tonic, {4, -1});
    }
  }

  [[nodiscard]] std::uint64_t Calls() const { return calls_; }

  bool SearchPivots(bool probeOnly, std::int32_t depth, const harmony::Chord& previous,
                    const ProgressionStep& current, PlanSet& set) {
    if (++calls_ > budget_)
      throw BudgetExceeded{};
    if ((calls_ & 0xFFF) == 0 && Clock::now() > deadline_)
      throw BudgetExceeded{};
    const harmony::Key k = current.key;
    const harmony::Chord& x = current.chord;
    harmony::ScaleDegree d = 0;
    if (k.tonic.letter == ' ') {
      d = 1;
    } else {
      d = harmony::DegreeOfChord(k, x);
      if (d == 0) {
        const std::int32_t third = x.type.tones[1].delta;
        const std::int32_t fifth = x.type.tones[2].delta;
        if (third == 0 && fifth == -1)
          d = 5;
        if (third == -1 && fifth == -1)
          d = 4;
      }
    }
    if (d == 0)
      return false;  // no triad of the key, nor a major or minor one
    for (const SubstitutionRule& r : substitution_) {
      if (k.tonic.letter == ' ' && r.ToDegree != 1)
        continue;
      if (r.Mode != '?' && r.Mode != k.mode)
        continue;
      if (r.FromDegree != d)
        continue;
      for (int row = 0; row < 16; ++row) {
        for (const harmony::Key n : {majors_[row], minors_[row]}) {
          if (!harmony::ChordFitsKey(n, r.ToDegree, x))
            continue;
          if (SearchChains(probeOnly, depth, previous, x, n, r.ToDegree, r.Weight, set) &&
              probeOnly) {
            return true;
          }
        }
      }
    }
    return false;
  }

  bool SearchChains(bool probeOnly, std::int32_t depth, const harmony::Chord& previous,
                    const harmony::Chord& pivot, harmony::Key n, harmony::ScaleDegree t,
                    std::int32_t ws, PlanSet& set) {
    for (const ConnectionRule& c : connection_) {
      if (c.Mode != '?' && c.Mode != n.mode)
        continue;
      if (c.Degrees[0] != t)
        continue;
      int count = 0;
      while (count < 20 && c.Degrees[count] != 0)
        ++count;
      if (count < 2)
        continue;  // no chord of its own
      const std::int64_t weight =
          static_cast<std::int64_t>(c.Weight < 0 ? 0 : c.Weight) * (ws < 0 ? 0 : ws);
      const int j = count - 1;
      Plan plan;
      plan.Weight = weight;
      for (int i = 1; i < count - 1; ++i) {
        plan.Steps.push_back({n, harmony::BuildChordOnDegree(n, c.Degrees[i])});
      }
      harmony::Chord last = harmony::BuildChordOnDegree(n, c.Degrees[count - 1]);
      if (c.Correction == 'M') {
        last.type.tones[1].delta = 0;
      } else if (c.Correction == 'm') {
        last.type.tones[1].delta = -1;
        if (!harmony::IsPlainNote(harmony::WholeToneDown(last.root)))
          continue;
      } else if (c.Correction == 'n') {
        last.root.accidental -= 1;
        for (int i = 1; i < 5; ++i) {
          if (last.type.tones[i].steps < 0)
            break;
          last.type.tones[i].delta += 1;
        }
        if (!harmony::IsPlainNote(harmony::MoveByWholeTones(last.root, {-4, +1})))
          continue;
      }
      if (harmony::ChordsEqual(last, previous))
        continue;
      plan.Steps.push_back({n, last});
      bool success = false;
      if (n == home_) {
        success = true;
      } else if (depth + j < kMaxDepth) {
        PlanSet probe;
        success = SearchPivots(true, depth + j, pivot, {n, last}, probe);
      }
      if (!success)
        continue;
      if (probeOnly)
        return true;
      set.TotalWeight += plan.Weight;
      set.Plans.push_back(std::move(plan));
    }
    return false;
  }

 private:
  std::span<const ConnectionRule> connection_;
  std::span<const SubstitutionRule> substitution_;
  harmony::Key home_;
  std::uint64_t budget_;
  Clock::time_point deadline_;
  std::uint64_t calls_ = 0;
  std::vector<harmony::Key> majors_;
  std::vector<harmony::Key> minors_;
};

// The number that picks a plan, drawn by the rule: two draws and a modulo up
// to a total of 2^30; beyond, pairs of draws joined high to low into a number
// of the total's bit width, drawn again until it is below the total.
inline std::int64_t DrawPlanNumber(RandomSource& random, std::int64_t total) {
  if (total <= (std::int64_t{1} << 30))
    return DrawThirtyBits(random) % total;
  const int bits = std::bit_width(static_cast<std::uint64_t>(total) - 1);
  const int pairs = (bits + 29) / 30;
  while (true) {
    std::uint64_t number = 0;
    for (int i = 0; i < pairs; ++i)
      number = number << 30 | static_cast<std::uint64_t>(DrawThirtyBits(random));
    number &= ~std::uint64_t{0} >> (64 - bits);
    if (number < static_cast<std::uint64_t>(total))
      return static_cast<std::int64_t>(number);
  }
}

// The generator's state and Advance, step by step as designed, over the
// literal search.
class LiteralGenerator {
 public:
  LiteralGenerator(std::vector<ConnectionRule> connection,
                   std::vector<SubstitutionRule> substitution, harmony::Key home)
      : connection_(std::move(connection)), substitution_(std::move(substitution)), home_(home) {
    Reset();
  }

  void Reset() {
    queue_.clear();
    const ProgressionStep tonic{home_, harmony::BuildChordOnDegree(home_, 1)};
    queue_.push_back(tonic);
    previous_ = harmony::Chord{};
    current_ = tonic;
    current_.key.tonic.letter = ' ';
    stepsAway_ = 0;
  }

  ProgressionStep PopStep() {
    if (queue_.empty())
      return current_;
    const ProgressionStep step = queue_.front();
    queue_.pop_front();
    return step;
  }

  // The PlanSet of the next search, for comparison.
  PlanSet Collect(std::uint64_t budget = std::numeric_limits<std::uint64_t>::max()) const {
    LiteralSearch search(connection_, substitution_, home_, budget, deadline_);
    PlanSet set;
    search.SearchPivots(false, stepsAway_, previous_, current_, set);
    return set;
  }

  // Returns the set it searched (none while steps are queued).
  PlanSet Advance(std::uint64_t budget = std::numeric_limits<std::uint64_t>::max()) {
    if (!queue_.empty())
      return {};
    PlanSet set = Collect(budget);
    if (set.TotalWeight == 0) {
      queue_.push_back(current_);
      return set;
    }
    const std::int64_t r = DrawPlanNumber(random_, set.TotalWeight);
    std::int64_t sum = 0;
    for (const Plan& plan : set.Plans) {
      sum += plan.Weight;
      if (r < sum) {
        for (const ProgressionStep& step : plan.Steps)
          queue_.push_back(step);
        previous_ = current_.chord;
        current_ = plan.Steps.back();
        if (current_.key == home_) {
          stepsAway_ = 0;
        } else {
          stepsAway_ += static_cast<std::int32_t>(plan.Steps.size());
        }
        return set;
      }
    }
    return set;
  }

  [[nodiscard]] const ProgressionStep& CurrentStep() const { return current_; }
  [[nodiscard]] std::size_t PendingSteps() const { return queue_.size(); }
  [[nodiscard]] const harmony::Chord& PreviousChord() const { return previous_; }
  [[nodiscard]] std::int32_t StepsAway() const { return stepsAway_; }
  [[nodiscard]] std::uint32_t RandomState() const { return random_.State(); }
  void SetRandomState(std::uint32_t state) { random_.SetState(state); }
  void SetDeadline(Clock::time_point deadline) { deadline_ = deadline; }

 private:
  std::vector<ConnectionRule> connection_;
  std::vector<SubstitutionRule> substitution_;
  harmony::Key home_;
  std::deque<ProgressionStep> queue_;
  harmony::Chord previous_{};
  ProgressionStep current_{};
  std::int32_t stepsAway_ = 0;
  RandomSource random_;
  Clock::time_point deadline_ = Clock::time_point::max();
};

}  // namespace sonavela::generator::literal
