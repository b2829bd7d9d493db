#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "midi/port/midi_message.h"

namespace sonavela::playback {

using midi::Timestamp;

// The period of a progression: a chord every two seconds.
inline constexpr std::chrono::milliseconds kStepPeriod{2000};

// Where the chords of a progression fall in time. The session asks it when
// the first chord sounds and, after each chord, when the next one is due; the
// front end waits for that moment as it can (a blocking sleep, a timer of its
// event loop, no wait at all for an offline render).
class ChordClock {
 public:
  virtual ~ChordClock() = default;

  [[nodiscard]] virtual Timestamp Now() const = 0;
  // A progression starts now: when its first chord sounds.
  virtual Timestamp Start() = 0;
  // The chord that was due has been played and the one after it planned:
  // when that one is due.
  virtual Timestamp Next() = 0;
  // How long a chord lasts on this clock's grid; zero when chords come as
  // fast as they can be played.
  [[nodiscard]] virtual std::chrono::nanoseconds ChordLength() const = 0;
  // Moves the clock to `time` if it keeps time of its own (an offline
  // render); a clock on real time leaves that to the world.
  virtual void WaitedUntil(Timestamp /*time*/) {}
};

// The steady clock's grid: chord k at k periods after Start. A chord handled
// so late that it overran deadlines does not bring them all at once: the next
// one is the first grid point after it. A zero period asks for chords as fast
// as possible.
class GridClock final : public ChordClock {
 public:
  using TimeSource = std::function<Timestamp()>;

  // `now` reads the time; the steady clock unless a test gives another.
  explicit GridClock(std::chrono::nanoseconds period = kStepPeriod, TimeSource now = {});

  [[nodiscard]] Timestamp Now() const override { return now_(); }
  Timestamp Start() override;
  Timestamp Next() override;
  [[nodiscard]] std::chrono::nanoseconds ChordLength() const override { return period_; }
  // Grid index of the chord Next() last returned (0 after Start).
  [[nodiscard]] std::int64_t Index() const { return index_; }

 private:
  std::chrono::nanoseconds period_;
  TimeSource now_;
  Timestamp origin_{};
  std::int64_t index_ = 0;
};

// Time that passes only when the session has waited for it, so that an
// offline render runs as fast as the renderer can go, on the same grid.
class OfflineClock final : public ChordClock {
 public:
  explicit OfflineClock(std::chrono::nanoseconds period = kStepPeriod) : period_(period) {}

  [[nodiscard]] Timestamp Now() const override { return now_; }
  Timestamp Start() override;
  Timestamp Next() override;
  [[nodiscard]] std::chrono::nanoseconds ChordLength() const override { return period_; }
  void WaitedUntil(Timestamp time) override;

 private:
  std::chrono::nanoseconds period_;
  Timestamp now_{};
  Timestamp next_{};
};

}  // namespace sonavela::playback
