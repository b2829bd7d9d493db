// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bit>
#include <cstdint>

namespace sonavela::generator {

// The C runtime's rand of the platform the progressions were first heard on:
// every run from the same state draws the same sequence, on every platform.
class RandomSource {
 public:
  static constexpr std::uint32_t kInitialState = 1;

  constexpr RandomSource() = default;
  constexpr explicit RandomSource(std::uint32_t state) : state_(state) {}

  // 0..32767: bits 16 to 30 of the next state.
  constexpr std::int32_t Next() {
    state_ = state_ * 214013u + 2531011u;  // modulo 2^32 by unsigned wrap-around
    return static_cast<std::int32_t>((state_ >> 16) & 0x7fffu);
  }

  [[nodiscard]] constexpr std::uint32_t State() const { return state_; }
  constexpr void SetState(std::uint32_t state) { state_ = state; }

 private:
  std::uint32_t state_ = kInitialState;
};

// Two draws make one 30-bit number: (first << 15) ^ second.
[[nodiscard]] constexpr std::int64_t DrawThirtyBits(RandomSource& random) {
  const std::int64_t high = random.Next();
  const std::int64_t low = random.Next();
  return (high << 15) ^ low;
}

inline constexpr std::int64_t kThirtyBitRange = std::int64_t{1} << 30;

// The number 0 <= r < total that picks a plan; `total` must be positive (0 is
// returned, and nothing drawn, otherwise).
//
// Up to 2^30 it is one 30-bit number modulo the total, exactly as every
// progression so far was drawn. A larger total would leave every plan beyond
// 2^30 out of reach, so there 30-bit numbers are joined, first one highest,
// into a number of as many bits as total - 1 has; a number that is not below
// the total is thrown away and drawn again. That keeps the choice proportional
// (no modulo bias) and the draws a function of the state alone.
[[nodiscard]] constexpr std::int64_t DrawBelow(RandomSource& random, std::int64_t total) {
  if (total <= 0)
    return 0;
  if (total <= kThirtyBitRange)
    return DrawThirtyBits(random) % total;
  const int bits = std::bit_width(static_cast<std::uint64_t>(total - 1));
  const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
  while (true) {
    std::uint64_t wide = 0;
    for (int have = 0; have < bits; have += 30) {
      wide = (wide << 30) | static_cast<std::uint64_t>(DrawThirtyBits(random));
    }
    wide &= mask;
    if (wide < static_cast<std::uint64_t>(total))
      return static_cast<std::int64_t>(wide);
  }
}

}  // namespace sonavela::generator
