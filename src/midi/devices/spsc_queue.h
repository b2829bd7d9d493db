// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonavela::midi {

// A bounded first-in first-out queue between exactly one producing thread
// and exactly one consuming thread, neither of which ever waits for the
// other: the consumer may be a real-time audio thread, which must not take
// a lock or allocate. The storage is allocated once, by the constructor.
//
// The consumer can look at the oldest element before taking it, so that an
// element meant for later can stay queued.
template <typename T>
class SpscQueue {
 public:
  explicit SpscQueue(std::size_t capacity) : slots_(capacity) {}
  SpscQueue(const SpscQueue&) = delete;
  SpscQueue& operator=(const SpscQueue&) = delete;

  [[nodiscard]] std::size_t Capacity() const { return slots_.size(); }

  // Producer only. False, leaving the queue as it was, when it is full.
  [[nodiscard]] bool Push(const T& value) {
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= slots_.size()) {
      return false;
    }
    slots_[tail % slots_.size()] = value;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer only: the oldest element, or nullptr when there is none. Valid
  // until Pop.
  [[nodiscard]] const T* Front() const {
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) {
      return nullptr;
    }
    return &slots_[head % slots_.size()];
  }

  // Consumer only; only after Front returned an element.
  void Pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  // How many elements were ever pushed and ever taken. Either thread, or a
  // third one, may read them: the difference is what is still queued, and a
  // producer that remembers Pushed() knows its messages are gone once
  // Taken() reaches it.
  [[nodiscard]] std::uint64_t Pushed() const { return tail_.load(std::memory_order_acquire); }
  [[nodiscard]] std::uint64_t Taken() const { return head_.load(std::memory_order_acquire); }

 private:
  std::vector<T> slots_;
  // Counters that never wrap in practice (2^64 messages), so full and empty
  // need no spare slot. Each on its own cache line, written by one thread.
  alignas(64) std::atomic<std::uint64_t> head_{0};
  alignas(64) std::atomic<std::uint64_t> tail_{0};
};

}  // namespace sonavela::midi
