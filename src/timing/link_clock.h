// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "timing/chord_clock.h"

namespace sonavela::timing {

// What LinkClock needs of an Ableton Link session, on the steady clock: the
// library's own (link_session.h), or one a test scripts. The readings are
// those of the last Capture, so that everything one poll decides rests on a
// single state of the session.
class LinkSession {
 public:
  virtual ~LinkSession() = default;

  [[nodiscard]] virtual Timestamp Now() const = 0;
  // Joins the session (finding its peers takes a moment), or leaves it.
  virtual void Join() = 0;
  virtual void Leave() = 0;
  virtual void Capture() = 0;

  // Other peers in the session.
  [[nodiscard]] virtual std::size_t Peers() const = 0;
  [[nodiscard]] virtual double Tempo() const = 0;
  // The session's beat timeline; its phase in `quantum` is the same for
  // every peer, the beat numbers are this peer's own.
  [[nodiscard]] virtual double BeatAt(Timestamp at, double quantum) const = 0;
  [[nodiscard]] virtual Timestamp TimeAt(double beat, double quantum) const = 0;
  [[nodiscard]] virtual bool Playing() const = 0;
  // When the session started or stopped playing, as the peer that did it
  // asked.
  [[nodiscard]] virtual Timestamp PlayingChangedAt() const = 0;

  // Sets the session playing from `at`, with beat 0 there if this peer is
  // alone, else on the next time after it where the session's phase in
  // `quantum` is 0.
  virtual void StartPlaying(Timestamp at, double quantum) = 0;
  virtual void StopPlaying(Timestamp at) = 0;
};

// Follows an Ableton Link session with start/stop sync: chords change on the
// session's quantum boundaries (phase 0 of N beats) at its tempo.
//
// Engaging joins the session and, once its peers had time to answer, sets it
// playing: the first chord (a fresh start) comes at the next boundary. From
// then on a peer that stops the session silences the progression, and a
// peer that starts it again starts it afresh from the tonic, on the first
// boundary from where play starts: Link's start carries no position, and its
// peers count their bars from there, so the progression does too.
// Disengaging stops the session and leaves it.
class LinkClock final : public ChordClock {
 public:
  LinkClock(std::unique_ptr<LinkSession> session, int beatsPerChord);

  [[nodiscard]] Timestamp Now() const override { return session_->Now(); }
  void Engage(Timestamp now) override;
  void Disengage() override;
  [[nodiscard]] bool Engaged() const override { return engaged_; }
  [[nodiscard]] std::optional<ClockEvent> Poll(Timestamp horizon) override;
  void ChordPlayed() override;
  [[nodiscard]] Timestamp NextWake() const override;
  [[nodiscard]] std::optional<Timestamp> NextChord() const override;
  [[nodiscard]] std::chrono::nanoseconds PollInterval() const override;
  [[nodiscard]] Meter CurrentMeter() const override;
  [[nodiscard]] std::optional<Timestamp> PulseAfter(Timestamp after) const override;
  [[nodiscard]] std::optional<Notice> TakeNotice() override;
  [[nodiscard]] bool FollowsMaster() const override { return true; }

 private:
  // The first boundary at or after `at`.
  [[nodiscard]] Timestamp BoundaryFrom(Timestamp at) const;
  // The boundary after the chord played last.
  [[nodiscard]] Timestamp NextBoundary() const;
  [[nodiscard]] std::optional<ClockEvent> StartOrChord(Timestamp horizon);
  [[nodiscard]] std::optional<ClockEvent> TowardsStop(Timestamp horizon);
  [[nodiscard]] Notice Joined() const;
  ClockEvent Emit(Cue cue, Timestamp at);

  std::unique_ptr<LinkSession> session_;
  double quantum_;
  bool engaged_ = false;
  // Waiting for the session's peers to answer before starting.
  bool joining_ = false;
  Timestamp joinBy_{};
  // The session was playing at the last poll.
  bool sessionPlaying_ = false;
  // A fresh start is due at the first boundary from `startFrom_`.
  bool startPending_ = false;
  Timestamp startFrom_{};
  // Chords are sounding: the last one at `playedAt_`.
  bool playing_ = false;
  bool awaitingPlayed_ = false;
  Timestamp playedAt_{};
  // When the chord played last was planned; boundaries passed by then are
  // skipped, not played late in a burst.
  Timestamp plannedAt_{};
  std::deque<Notice> notices_;
};

}  // namespace sonavela::timing
