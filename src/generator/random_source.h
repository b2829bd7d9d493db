#pragma once

#include <cstdint>

namespace sonavela::generator {

// The C runtime's rand of the platform the progressions were first heard on:
// every run from the same state draws the same sequence, on every platform.
class RandomSource {
 public:
  static constexpr std::uint32_t kInitialState = 1;
  static constexpr std::int32_t kMax = 32767;

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

}  // namespace sonavela::generator
