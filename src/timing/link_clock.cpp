// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/link_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace sonavela::timing {

namespace {

// Long enough for the peers on a local network to answer the announcement
// Link makes on joining, or the next one should that be lost (it repeats
// them every 250 ms); short enough that a lone start still comes at once.
constexpr std::chrono::milliseconds kDiscovery{500};
// Often enough to see a peer's start, stop or tempo change within a JACK
// period, and a boundary as soon as it comes within the device's lookahead.
constexpr std::chrono::milliseconds kPoll{1};
// Link keeps beats to a millionth and times to a microsecond, so a time read
// back as beats may fall just short of the boundary it came from.
constexpr double kBeatSlack = 1e-3;
constexpr int kPulsesPerBeat = 24;

}  // namespace

LinkClock::LinkClock(std::unique_ptr<LinkSession> session, int beatsPerChord)
    : session_(std::move(session)), quantum_(std::max(beatsPerChord, 1)) {}

void LinkClock::Engage(Timestamp now) {
  engaged_ = true;
  joining_ = true;
  joinBy_ = now + kDiscovery;
  sessionPlaying_ = false;
  startPending_ = false;
  playing_ = false;
  awaitingPlayed_ = false;
  session_->Join();
  session_->Capture();
}

void LinkClock::Disengage() {
  if (!engaged_) {
    return;
  }
  engaged_ = false;
  // A stop before the session was ever started would stop the peers'
  // music, not ours.
  if (!joining_) {
    session_->Capture();
    if (session_->Playing()) {
      session_->StopPlaying(session_->Now());
    }
  }
  joining_ = false;
  startPending_ = false;
  playing_ = false;
  awaitingPlayed_ = false;
  session_->Leave();
}

Notice LinkClock::Joined() const {
  const std::size_t peers = session_->Peers();
  Notice joined = Notice::Of(peers == 0 ? NoticeKind::kLinkAlone : NoticeKind::kLinkJoined);
  joined.number = static_cast<std::int64_t>(peers);
  joined.tempo = session_->Tempo();
  return joined;
}

std::optional<ClockEvent> LinkClock::Poll(Timestamp horizon) {
  if (!engaged_ || awaitingPlayed_) {
    return std::nullopt;
  }
  session_->Capture();
  if (joining_) {
    if (session_->Peers() == 0 && session_->Now() < joinBy_) {
      return std::nullopt;
    }
    joining_ = false;
    notices_.push_back(Joined());
    // From the horizon on, not from now, so that a chord on beat 0 of a lone
    // session still reaches the device ahead of its time.
    session_->StartPlaying(horizon, quantum_);
    sessionPlaying_ = true;
    startPending_ = true;
    startFrom_ = horizon;
  }
  if (!session_->Playing()) {
    return TowardsStop(horizon);
  }
  if (!sessionPlaying_) {
    sessionPlaying_ = true;
    startPending_ = true;
    startFrom_ = session_->PlayingChangedAt();
    notices_.push_back(Notice::Of(NoticeKind::kLinkStarted));
  }
  return StartOrChord(horizon);
}

std::optional<ClockEvent> LinkClock::StartOrChord(Timestamp horizon) {
  if (startPending_) {
    const Timestamp at = BoundaryFrom(startFrom_);
    if (at > horizon) {
      return std::nullopt;
    }
    startPending_ = false;
    playing_ = true;
    return Emit(Cue::kStart, at);
  }
  if (!playing_) {
    return std::nullopt;
  }
  const Timestamp at = NextBoundary();
  if (at > horizon) {
    return std::nullopt;
  }
  return Emit(Cue::kChord, at);
}

std::optional<ClockEvent> LinkClock::TowardsStop(Timestamp horizon) {
  if (sessionPlaying_) {
    sessionPlaying_ = false;
    startPending_ = false;
    notices_.push_back(Notice::Of(NoticeKind::kLinkStopped));
  }
  if (!playing_) {
    return std::nullopt;
  }
  // A stop may be asked for a little ahead: the chords before it still
  // sound. Nor does it come before a chord already sent, whose notes would
  // otherwise ring on.
  const Timestamp stopAt = std::max(session_->PlayingChangedAt(), playedAt_);
  const Timestamp next = NextBoundary();
  if (next < stopAt) {
    return next <= horizon ? std::optional(Emit(Cue::kChord, next)) : std::nullopt;
  }
  if (stopAt > horizon) {
    return std::nullopt;
  }
  playing_ = false;
  return ClockEvent{Cue::kStop, stopAt};
}

ClockEvent LinkClock::Emit(Cue cue, Timestamp at) {
  awaitingPlayed_ = true;
  playedAt_ = at;
  return {cue, at};
}

void LinkClock::ChordPlayed() {
  awaitingPlayed_ = false;
  plannedAt_ = session_->Now();
}

Timestamp LinkClock::BoundaryFrom(Timestamp at) const {
  const double chords = std::ceil((session_->BeatAt(at, quantum_) - kBeatSlack) / quantum_);
  return session_->TimeAt(chords * quantum_, quantum_);
}

Timestamp LinkClock::NextBoundary() const {
  // Counted from where the last chord falls on the timeline now, which
  // holds when a peer renumbers its beats or changes the tempo.
  const double played = std::round(session_->BeatAt(playedAt_, quantum_) / quantum_);
  const double due = std::ceil((session_->BeatAt(plannedAt_, quantum_) - kBeatSlack) / quantum_);
  return session_->TimeAt(std::max(played + 1, due) * quantum_, quantum_);
}

Timestamp LinkClock::NextWake() const {
  if (!engaged_ || awaitingPlayed_) {
    return Timestamp::max();
  }
  if (joining_) {
    return joinBy_;
  }
  return NextChord().value_or(Timestamp::max());
}

std::optional<Timestamp> LinkClock::NextChord() const {
  if (!engaged_ || joining_) {
    return std::nullopt;
  }
  if (startPending_) {
    return BoundaryFrom(startFrom_);
  }
  if (playing_) {
    return NextBoundary();
  }
  return std::nullopt;
}

std::chrono::nanoseconds LinkClock::PollInterval() const {
  return engaged_ ? std::chrono::nanoseconds(kPoll) : std::chrono::nanoseconds::max();
}

Meter LinkClock::CurrentMeter() const {
  return {std::chrono::nanoseconds(std::llround(60e9 / session_->Tempo())),
          static_cast<int>(quantum_)};
}

std::optional<Timestamp> LinkClock::PulseAfter(Timestamp after) const {
  if (!engaged_ || !playing_) {
    return std::nullopt;
  }
  const std::chrono::nanoseconds quarterPulse(
      std::llround(60e9 / session_->Tempo() / kPulsesPerBeat / 4));
  // The session asks for the onset of a chord that begins the clock as the
  // pulse after the instant before it.
  if (after < playedAt_ && playedAt_ - after < quarterPulse) {
    return playedAt_;
  }
  // Every poll reads the timeline afresh, and the readings differ by a
  // microsecond or so: a pulse found by time again could come back a hair
  // later than the one sent. So the next pulse is the first more than a
  // quarter of a pulse after `after`.
  const Timestamp from = after + quarterPulse;
  const auto pulseTime = [&](double pulse) {
    return session_->TimeAt(pulse / kPulsesPerBeat, quantum_);
  };
  double pulse = std::floor(session_->BeatAt(from, quantum_) * kPulsesPerBeat) + 1;
  while (pulseTime(pulse - 1) > from) {
    --pulse;
  }
  while (pulseTime(pulse) <= from) {
    ++pulse;
  }
  return pulseTime(pulse);
}

std::optional<Notice> LinkClock::TakeNotice() {
  if (notices_.empty()) {
    return std::nullopt;
  }
  Notice notice = std::move(notices_.front());
  notices_.pop_front();
  return notice;
}

}  // namespace sonavela::timing
