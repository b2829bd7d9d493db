// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/notice.h"
#include "midi/port/midi_message.h"

namespace sonavela::timing {

using midi::Timestamp;

// The period of a progression: a chord every two seconds, four beats of
// 120 BPM.
inline constexpr std::chrono::milliseconds kStepPeriod{2000};
inline constexpr double kDefaultTempo = 120.0;
inline constexpr int kDefaultBeatsPerChord = 4;

// How a clock divides time: the length of a beat (a quarter note) and the
// beats from one chord to the next.
struct Meter {
  std::chrono::nanoseconds beat{kStepPeriod / kDefaultBeatsPerChord};
  int beatsPerChord = kDefaultBeatsPerChord;
  // The beat in fractions of a nanosecond where a tempo gives it (60 / 90
  // s is no whole number of them), so that grid points computed from it do
  // not drift; zero when `beat` is exact.
  double exactBeatNs = 0;

  [[nodiscard]] double BeatNs() const {
    return exactBeatNs > 0 ? exactBeatNs : static_cast<double>(beat.count());
  }
  [[nodiscard]] std::chrono::nanoseconds Chord() const;
  // Beat `beats` (a whole or a fractional number) after an origin.
  [[nodiscard]] std::chrono::nanoseconds Beats(double beats) const;
  [[nodiscard]] static Meter FromTempo(double bpm, int beatsPerChord);
  // A chord every `period`, as four beats; a zero period (chords as fast as
  // they can be played) has beats of zero length.
  [[nodiscard]] static Meter FromPeriod(std::chrono::nanoseconds period);
};

// What a clock asks of the session.
enum class Cue {
  kStart,   // a fresh start: rules loaded, the tonic first
  kResume,  // rolling again after a stop: the next chord of the progression
  kChord,   // the next chord
  kStop,    // silence; nothing more until a start or a resume
};

struct ClockEvent {
  Cue cue = Cue::kChord;
  Timestamp at{};
  friend bool operator==(const ClockEvent&, const ClockEvent&) = default;
};

// Where the chords of a progression fall in time: the session's own grid, or
// a master it follows (the JACK transport, MIDI clock, Ableton Link). The
// session engages it when the user starts, then polls it for what is due; a
// clock says when it wants to be polled next, so that a front end can sleep
// or aim a timer until then.
class ChordClock {
 public:
  virtual ~ChordClock() = default;

  [[nodiscard]] virtual Timestamp Now() const = 0;
  // The user asked to play (or to follow the master) from `now` on.
  virtual void Engage(Timestamp now) = 0;
  // The user stopped: nothing more until the next Engage.
  virtual void Disengage() = 0;
  [[nodiscard]] virtual bool Engaged() const = 0;
  // The next event whose time is at most `horizon`, or nothing. A chord is
  // due once; after one is handled the clock moves on when ChordPlayed says
  // so.
  [[nodiscard]] virtual std::optional<ClockEvent> Poll(Timestamp horizon) = 0;
  // The chord of the last event was played and the next one planned (which
  // may have taken a while).
  virtual void ChordPlayed() = 0;
  // When something may next be due; a master may ask to be polled often.
  [[nodiscard]] virtual Timestamp NextWake() const = 0;
  // When the next chord is due, where the clock knows it already.
  [[nodiscard]] virtual std::optional<Timestamp> NextChord() const = 0;
  // How often a master wants to be asked about what it does, whatever is
  // due; the session's own grid needs no asking.
  [[nodiscard]] virtual std::chrono::nanoseconds PollInterval() const {
    return std::chrono::nanoseconds::max();
  }
  [[nodiscard]] virtual Meter CurrentMeter() const = 0;
  // The time of the next MIDI clock pulse (24 to a beat) after `after`, on
  // this clock's beat grid, while it rolls.
  [[nodiscard]] virtual std::optional<Timestamp> PulseAfter(Timestamp after) const = 0;
  // Where on the master's timeline the last event lies, in beats from bar 1
  // beat 1, where the clock knows it: what a song position pointer tells
  // gear that follows this program's clock when it goes on.
  [[nodiscard]] virtual std::optional<double> LastEventBeats() const { return std::nullopt; }
  // Something the user should hear about (a master that went silent), once.
  [[nodiscard]] virtual std::optional<Notice> TakeNotice() { return std::nullopt; }
  // Whether the chords come when a master says, rather than at once.
  [[nodiscard]] virtual bool FollowsMaster() const { return false; }
  // Whether that master has gone away (its server quit, its input was
  // removed); the clock waits for it to come back.
  [[nodiscard]] virtual bool MasterGone() const { return false; }
  // Moves the clock to `time` if it keeps time of its own (an offline
  // render); a clock on real time leaves that to the world.
  virtual void WaitedUntil(Timestamp /*time*/) {}
};

// The session's own grid: chord k at k chord lengths after Start. A chord
// planned so late that it overran deadlines does not bring them all at once:
// the next one is the first grid point after it. A zero chord length asks for
// chords as fast as possible.
class GridClock : public ChordClock {
 public:
  using TimeSource = std::function<Timestamp()>;

  // `now` reads the time; the steady clock unless a test gives another.
  explicit GridClock(Meter meter = {}, TimeSource now = {});
  explicit GridClock(std::chrono::nanoseconds period, TimeSource now = {})
      : GridClock(Meter::FromPeriod(period), std::move(now)) {}

  [[nodiscard]] Timestamp Now() const override { return now_(); }
  void Engage(Timestamp now) override;
  void Disengage() override { engaged_ = false; }
  [[nodiscard]] bool Engaged() const override { return engaged_; }
  [[nodiscard]] std::optional<ClockEvent> Poll(Timestamp horizon) override;
  void ChordPlayed() override;
  [[nodiscard]] Timestamp NextWake() const override;
  [[nodiscard]] std::optional<Timestamp> NextChord() const override;
  [[nodiscard]] Meter CurrentMeter() const override { return meter_; }
  [[nodiscard]] std::optional<Timestamp> PulseAfter(Timestamp after) const override;

  // Grid index of the chord due next (0 while the start is pending).
  [[nodiscard]] std::int64_t Index() const { return index_; }

 protected:
  [[nodiscard]] Timestamp GridPoint(std::int64_t index) const;

 private:
  Meter meter_;
  TimeSource now_;
  Timestamp origin_{};
  std::int64_t index_ = 0;
  // Chords as fast as possible have no grid: the next is due when the last
  // one was played.
  Timestamp asapDue_{};
  bool engaged_ = false;
  bool startPending_ = false;
  bool awaitingPlayed_ = false;
};

// Time that passes only when the session has waited for it, so that an
// offline render runs as fast as the renderer can go, on the same grid.
class OfflineClock final : public GridClock {
 public:
  explicit OfflineClock(Meter meter = {});
  explicit OfflineClock(std::chrono::nanoseconds period)
      : OfflineClock(Meter::FromPeriod(period)) {}

  void WaitedUntil(Timestamp time) override;

 private:
  OfflineClock(Meter meter, std::shared_ptr<Timestamp> now);

  std::shared_ptr<Timestamp> time_;
};

}  // namespace sonavela::timing
