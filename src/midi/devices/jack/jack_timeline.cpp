// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/jack/jack_timeline.h"

#include <cmath>
#include <cstdlib>

#include <jack/jack.h>

namespace sonavela::midi {

namespace {

static_assert(std::atomic<std::int64_t>::is_always_lock_free);
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(std::atomic<const void*>::is_always_lock_free);

constexpr double kNsPerSecond = 1e9;

}  // namespace

std::int64_t JackTimeline::Observe(const void* observer, std::uint32_t startFrame,
                                   std::uint64_t startUsecs, std::uint32_t rate) {
  const void* expected = nullptr;
  if (!observer_.compare_exchange_strong(expected, observer, std::memory_order_acq_rel) &&
      expected != observer) {
    return Unwrap(startFrame).value_or(startFrame);
  }
  if (!started_) {
    unwrapped_ = startFrame;
  } else {
    unwrapped_ += static_cast<std::int32_t>(startFrame - lastRaw_);
  }
  lastRaw_ = startFrame;
  const auto ns = static_cast<std::int64_t>(startUsecs) * 1000;
  const std::optional<Line> line = Read();
  bool keep = started_ && line && line->rate == rate;
  if (keep) {
    const double predicted = static_cast<double>(line->ns) +
                             static_cast<double>(unwrapped_ - line->frame) * kNsPerSecond / rate;
    const double tolerance = std::chrono::duration<double, std::nano>(kTolerance).count();
    keep = std::abs(static_cast<double>(ns) - predicted) <= tolerance;
  }
  if (!keep) {
    Write({unwrapped_, ns, rate});
  }
  lastFrame_.store(unwrapped_, std::memory_order_release);
  started_ = true;
  return unwrapped_;
}

void JackTimeline::Release(const void* observer) {
  const void* expected = observer;
  if (observer_.load(std::memory_order_acquire) != observer) {
    return;
  }
  Write({0, 0, 0});
  started_ = false;
  (void)observer_.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

void JackTimeline::Write(const Line& line) {
  const std::uint64_t sequence = sequence_.load(std::memory_order_relaxed);
  sequence_.store(sequence + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  frame_.store(line.frame, std::memory_order_relaxed);
  ns_.store(line.ns, std::memory_order_relaxed);
  rate_.store(line.rate, std::memory_order_relaxed);
  sequence_.store(sequence + 2, std::memory_order_release);
}

std::optional<JackTimeline::Line> JackTimeline::Read() const {
  // A write is a few stores; should its thread be held up in the middle,
  // the reader goes without the line rather than spin on.
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::uint64_t before = sequence_.load(std::memory_order_acquire);
    if (before % 2 != 0) {
      continue;
    }
    Line line{frame_.load(std::memory_order_relaxed), ns_.load(std::memory_order_relaxed),
              rate_.load(std::memory_order_relaxed)};
    std::atomic_thread_fence(std::memory_order_acquire);
    if (sequence_.load(std::memory_order_relaxed) == before) {
      if (line.rate == 0) {
        return std::nullopt;
      }
      return line;
    }
  }
  return std::nullopt;
}

std::optional<double> JackTimeline::FrameAt(std::int64_t jackNs) const {
  const std::optional<Line> line = Read();
  if (!line) {
    return std::nullopt;
  }
  return static_cast<double>(line->frame) +
         static_cast<double>(jackNs - line->ns) * line->rate / kNsPerSecond;
}

std::optional<std::int64_t> JackTimeline::TimeOfFrame(std::int64_t frame) const {
  const std::optional<Line> line = Read();
  if (!line) {
    return std::nullopt;
  }
  return line->ns +
         std::llround(static_cast<double>(frame - line->frame) * kNsPerSecond / line->rate);
}

std::optional<std::int64_t> JackTimeline::Unwrap(std::uint32_t frame) const {
  if (!Read()) {
    return std::nullopt;
  }
  const std::int64_t last = lastFrame_.load(std::memory_order_acquire);
  return last + static_cast<std::int32_t>(frame - static_cast<std::uint32_t>(last));
}

std::int64_t JackClockOffset() {
  std::int64_t best = 0;
  auto tightest = std::chrono::nanoseconds::max();
  for (int reading = 0; reading < 5; ++reading) {
    const Timestamp before = MidiClock::now();
    const auto jackNow = static_cast<std::int64_t>(jack_get_time()) * 1000;
    const Timestamp after = MidiClock::now();
    if (after - before < tightest) {
      tightest = after - before;
      const Timestamp middle = before + (after - before) / 2;
      best =
          jackNow -
          std::chrono::duration_cast<std::chrono::nanoseconds>(middle.time_since_epoch()).count();
    }
  }
  return best;
}

JackTimeline& ServerTimeline() {
  static JackTimeline timeline;
  return timeline;
}

}  // namespace sonavela::midi
