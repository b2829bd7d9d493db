// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/midi_clock_follower.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sonavela::timing {

namespace {

using timing::ClockMessage;

constexpr int kClocksPerBeat = 24;
constexpr int kClocksPerSixteenth = 6;
// A boundary clock is acted on within this, well inside a JACK period, so
// that its chord reaches the cycle that plays the clock's arrival.
constexpr std::chrono::microseconds kPoll{500};
// A clock this much later than due has stopped. The floor keeps the bursts
// of a JACK client with a long period, or a busy machine, from passing for
// a pulled cable.
constexpr int kSilentPeriods = 4;
constexpr std::chrono::milliseconds kSilenceFloor{500};
// Asking the system whether a silent input is still there takes a round
// trip or two; once a second is plenty.
constexpr std::chrono::seconds kGoneCheck{1};
// What came longer than this before the user started is history: it tells
// where the master stands, not what to play now.
constexpr std::chrono::milliseconds kStale{200};
// How many clocks the tempo estimate averages over: about a beat.
constexpr double kSmoothingClocks = kClocksPerBeat;

}  // namespace

MidiClockFollower::MidiClockFollower(std::unique_ptr<Source> source, std::string name,
                                     int beatsPerChord, double fallbackBpm,
                                     GridClock::TimeSource now)
    : source_(std::move(source)),
      name_(std::move(name)),
      clocksPerChord_(static_cast<std::int64_t>(std::max(beatsPerChord, 1)) * kClocksPerBeat),
      now_(now ? std::move(now) : [] { return midi::MidiClock::now(); }),
      clockNs_(60e9 / (fallbackBpm > 0 ? fallbackBpm : kDefaultTempo) / kClocksPerBeat) {}

void MidiClockFollower::Engage(Timestamp now) {
  engaged_ = true;
  awaitingPlayed_ = false;
  playing_ = false;
  silent_ = false;
  goneReported_ = false;
  held_.reset();
  // What arrived long before is only followed to learn where the master
  // stands; a master found rolling is joined at its next boundary.
  while (std::optional<timing::ClockInputEvent> event = source_->Next()) {
    if (event->at >= now - kStale) {
      held_ = event;
      break;
    }
    (void)Apply(*event);
    playing_ = false;
    awaitingPlayed_ = false;
  }
  if (rolling_ && !startPending_) {
    joinPending_ = true;
  }
}

void MidiClockFollower::Disengage() {
  engaged_ = false;
  playing_ = false;
  awaitingPlayed_ = false;
}

ClockEvent MidiClockFollower::Emit(Cue cue, Timestamp at) {
  playing_ = true;
  awaitingPlayed_ = true;
  return {cue, at};
}

std::optional<ClockEvent> MidiClockFollower::Poll(Timestamp /*horizon*/) {
  // Everything from the source has arrived already, so all of it is due.
  if (!engaged_ || awaitingPlayed_) {
    return std::nullopt;
  }
  if (held_) {
    const timing::ClockInputEvent event = *std::exchange(held_, std::nullopt);
    if (std::optional<ClockEvent> due = Apply(event)) {
      return due;
    }
  }
  while (std::optional<timing::ClockInputEvent> event = source_->Next()) {
    if (std::optional<ClockEvent> due = Apply(*event)) {
      return due;
    }
  }
  WatchSilence(Now());
  WatchStoppedInput(Now());
  return std::nullopt;
}

void MidiClockFollower::WatchStoppedInput(Timestamp now) {
  // A master that stopped may go away and come back before it starts
  // again (its server restarted): its input is found again meanwhile.
  if (rolling_ || now < nextGoneCheck_) {
    return;
  }
  nextGoneCheck_ = now + kGoneCheck;
  (void)source_->Gone();
}

std::optional<ClockEvent> MidiClockFollower::Apply(const timing::ClockInputEvent& event) {
  switch (event.message) {
    case ClockMessage::kClock: {
      const Timestamp at = NoteClock(event.at);
      if (!rolling_) {
        return std::nullopt;  // a stopped master's clock only tells the tempo
      }
      const std::int64_t position = position_++;
      eventPosition_ = position;
      if (startPending_) {
        startPending_ = false;
        return Emit(Cue::kStart, at);
      }
      if (position % clocksPerChord_ != 0) {
        return std::nullopt;
      }
      if (joinPending_) {
        joinPending_ = false;
        return Emit(Cue::kResume, at);
      }
      return playing_ ? std::optional<ClockEvent>(Emit(Cue::kChord, at)) : std::nullopt;
    }
    case ClockMessage::kStart:
      rolling_ = true;
      startPending_ = true;
      joinPending_ = false;
      position_ = 0;
      return std::nullopt;
    case ClockMessage::kContinue:
      if (!rolling_) {
        rolling_ = true;
        joinPending_ = !playing_;
      }
      return std::nullopt;
    case ClockMessage::kSongPosition:
      position_ = static_cast<std::int64_t>(event.sixteenths) * kClocksPerSixteenth;
      return std::nullopt;
    case ClockMessage::kStop:
    case ClockMessage::kLost: {
      // Lost messages leave the position unknown: only the master's next
      // Start or Continue can tell it again.
      if (event.message == ClockMessage::kLost && playing_) {
        notice_ = Notice::Of(NoticeKind::kClockMessagesLost, name_);
      }
      rolling_ = false;
      startPending_ = false;
      joinPending_ = false;
      if (!playing_) {
        return std::nullopt;
      }
      playing_ = false;
      // After the last clock, which came first even where a JACK cycle
      // stamped both alike: that clock is still passed on.
      const Timestamp last = clocks_ > 0 ? arrivals_[(clocks_ - 1) % kRemembered] : event.at;
      return ClockEvent{Cue::kStop, std::max(event.at, last + std::chrono::nanoseconds(1))};
    }
  }
  return std::nullopt;
}

Timestamp MidiClockFollower::NoteClock(Timestamp at) {
  if (clocks_ > runStart_ && at - arrivals_[(clocks_ - 1) % kRemembered] > SilenceLimit()) {
    runStart_ = clocks_;  // the time across a silence is no period
  }
  // Each pulse is passed on after the one before it, so no two may share a
  // time: a callback can stamp two within the steady clock's resolution.
  const Timestamp previous = clocks_ > 0 ? arrivals_[(clocks_ - 1) % kRemembered] : Timestamp{};
  arrivals_[clocks_ % kRemembered] =
      clocks_ > 0 && at <= previous ? previous + std::chrono::nanoseconds(1) : at;
  ++clocks_;
  silent_ = false;
  goneReported_ = false;
  // The period over the last beat, where the run is that long, smoothed
  // again: the arrivals come in bursts from a JACK client, one per cycle.
  const std::uint64_t span = std::min<std::uint64_t>(clocks_ - 1 - runStart_, kClocksPerBeat);
  const Timestamp last = arrivals_[(clocks_ - 1) % kRemembered];
  if (span == 0) {
    return last;
  }
  const Timestamp first = arrivals_[(clocks_ - 1 - span) % kRemembered];
  const double period = static_cast<double>((last - first).count()) / static_cast<double>(span);
  // A run's first periods replace the guess at once; later ones smooth.
  const double intervals = static_cast<double>(clocks_ - 1 - runStart_);
  clockNs_ += (period - clockNs_) / std::min(intervals, kSmoothingClocks);
  return last;
}

std::chrono::nanoseconds MidiClockFollower::ClockPeriod() const {
  return std::chrono::nanoseconds(std::llround(clockNs_));
}

std::chrono::nanoseconds MidiClockFollower::SilenceLimit() const {
  return std::max<std::chrono::nanoseconds>(ClockPeriod() * kSilentPeriods, kSilenceFloor);
}

void MidiClockFollower::WatchSilence(Timestamp now) {
  if (!rolling_ || !playing_ || clocks_ == 0) {
    return;
  }
  const Timestamp last = arrivals_[(clocks_ - 1) % kRemembered];
  if (now - last <= SilenceLimit()) {
    return;
  }
  if (!silent_) {
    silent_ = true;
    nextGoneCheck_ = now + kGoneCheck;
    goneReported_ = source_->Gone();
    notice_ =
        Notice::Of(goneReported_ ? NoticeKind::kClockInputGone : NoticeKind::kClockStopped, name_);
    return;
  }
  if (now >= nextGoneCheck_) {
    nextGoneCheck_ = now + kGoneCheck;
    if (source_->Gone() && !goneReported_) {
      goneReported_ = true;
      notice_ = Notice::Of(NoticeKind::kClockInputGone, name_);
    }
  }
}

Timestamp MidiClockFollower::NextWake() const {
  return NextChord().value_or(Timestamp::max());
}

std::optional<Timestamp> MidiClockFollower::NextChord() const {
  if (!engaged_ || !playing_ || !rolling_ || silent_ || clocks_ == 0) {
    return std::nullopt;
  }
  const std::int64_t toBoundary = (clocksPerChord_ - position_ % clocksPerChord_) % clocksPerChord_;
  return arrivals_[(clocks_ - 1) % kRemembered] + ClockPeriod() * (toBoundary + 1);
}

std::chrono::nanoseconds MidiClockFollower::PollInterval() const {
  return engaged_ ? std::chrono::nanoseconds(kPoll) : std::chrono::nanoseconds::max();
}

Meter MidiClockFollower::CurrentMeter() const {
  return {ClockPeriod() * kClocksPerBeat, static_cast<int>(clocksPerChord_ / kClocksPerBeat)};
}

std::optional<Timestamp> MidiClockFollower::PulseAfter(Timestamp after) const {
  if (!engaged_) {
    return std::nullopt;
  }
  // The earliest remembered arrival after `after`: the pulses go on as the
  // master sent them, up to its Stop, which the session has already been
  // told of when it passes on the clocks before it.
  std::optional<Timestamp> found;
  const std::uint64_t oldest = clocks_ > kRemembered ? clocks_ - kRemembered : 0;
  for (std::uint64_t i = clocks_; i > oldest; --i) {
    const Timestamp at = arrivals_[(i - 1) % kRemembered];
    if (at <= after) {
      break;
    }
    found = at;
  }
  return found;
}

std::optional<Notice> MidiClockFollower::TakeNotice() {
  return std::exchange(notice_, std::nullopt);
}

}  // namespace sonavela::timing
