// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/session.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "playback/atomic_file.h"
#include "playback/chord_recorder.h"

namespace sonavela::playback {

namespace {

std::unique_ptr<midi::MidiBackend> Recorded(std::unique_ptr<midi::MidiBackend> devices,
                                            ChordRecorder*& recorder) {
  auto tap = std::make_unique<ChordRecorder>(std::move(devices));
  recorder = tap.get();
  return tap;
}

midi::PatternBeat BeatOf(const timing::Meter& meter) {
  return {meter.BeatNs(), meter.beatsPerChord};
}

std::unique_ptr<ChordSource> Generated(generator::ProgressionGenerator& generator,
                                       std::function<StartInputs()> inputs,
                                       GeneratedChords*& view) {
  auto chords = std::make_unique<GeneratedChords>(generator, std::move(inputs));
  view = chords.get();
  return chords;
}

const generator::LoadReport kNothingLoaded{};

}  // namespace

PlaybackSession::PlaybackSession(SessionOptions options)
    : clock_(options.clock ? std::move(options.clock) : std::make_unique<timing::GridClock>()),
      recorder_(nullptr),
      port_(Recorded(std::move(options.devices), recorder_)),
      chords_(options.chords ? std::move(options.chords)
                             : Generated(generator_, std::move(options.inputs), generated_)),
      control_(*chords_, port_),
      clockOut_(options.clockOut),
      keepRecording_(options.keepRecording),
      spillAfter_(options.spillAfterBytes),
      reopenFailed_(options.reopenFailedDevice) {
  generator_.SetRandomState(options.seed);
  port_.SetVoicing(options.voicing);
  control_.SetStepListener([this](const generator::ProgressionStep& step, const std::string& line) {
    OnStep(step, line);
  });
}

PlaybackSession::~PlaybackSession() {
  // The port's last all-notes-off belongs to the moment the session ends.
  (void)port_.CloseDevice(clock_->Now());
}

Status PlaybackSession::OpenDevice(unsigned index) {
  Status opened = port_.OpenDevice(index, clock_->Now());
  openName_.reset();
  std::string name;
  if (opened && port_.DeviceName(index, name)) {
    openName_ = name;
  }
  deviceLost_ = false;
  Report();
  return opened;
}

void PlaybackSession::ReopenFailedDevice() {
  constexpr std::chrono::seconds kFirstWait{1};
  constexpr std::chrono::seconds kLongestWait{4};
  if (!reopenFailed_ || !openName_ || !running_) {
    return;
  }
  const Timestamp now = clock_->Now();
  if (!deviceLost_) {
    if (port_.DeviceFailed()) {
      deviceLost_ = true;
      reopenWait_ = kFirstWait;
      nextReopen_ = now + reopenWait_;
    }
    return;
  }
  if (now < nextReopen_) {
    return;
  }
  reopenWait_ = std::min<std::chrono::nanoseconds>(reopenWait_ * 2, kLongestWait);
  nextReopen_ = now + reopenWait_;
  for (unsigned index = 0; index < port_.DeviceCount(); ++index) {
    std::string name;
    if (port_.DeviceName(index, name) && name == *openName_) {
      deviceLost_ = !port_.OpenDevice(index, now).ok();
      (void)port_.TakeFailure();  // told once, when it failed
      if (!deviceLost_ && sink_) {
        Notice back;
        back.kind = NoticeKind::kOutputBack;
        back.subject = name;
        sink_(back);
      }
      return;
    }
  }
}

Status PlaybackSession::CloseDevice() {
  const Timestamp now = clock_->Now();
  Status closed = port_.CloseDevice(running_ ? std::min(now, NextChordDue()) : now);
  Report();
  return closed;
}

void PlaybackSession::SetClock(std::unique_ptr<timing::ChordClock> clock, bool clockOut) {
  if (Engaged()) {
    Stop();
  }
  clock_ = std::move(clock);
  clockOut_ = clockOut;
}

void PlaybackSession::Start() {
  stopAtNextChord_ = false;
  clock_->Engage(clock_->Now());
  (void)Pump();
}

SessionState PlaybackSession::CurrentState() const {
  if (!clock_->Engaged()) {
    return SessionState::kStopped;
  }
  if (clock_->MasterGone()) {
    return SessionState::kMasterGone;
  }
  if (!running_) {
    return SessionState::kWaitingForMaster;
  }
  return port_.DeviceFailed() || deviceLost_ ? SessionState::kSilent : SessionState::kPlaying;
}

void PlaybackSession::Report() {
  if (!sink_) {
    return;
  }
  for (Notice& notice : port_.TakeNotices()) {
    sink_(std::move(notice));
  }
  if (std::optional<Notice> notice = clock_->TakeNotice()) {
    sink_(std::move(*notice));
  }
  if (std::optional<Error> why = port_.TakeFailure()) {
    sink_(Failure{Failure::What::kDevice, std::move(*why)});
  }
  if (std::optional<Error> why = TakeRecordingFailure()) {
    sink_(Failure{Failure::What::kRecording, std::move(*why)});
  }
  const SessionState now = CurrentState();
  if (now != state_) {
    state_ = now;
    sink_(StateChanged{now});
  }
}

int PlaybackSession::Pump() {
  PlayAwaited();
  const Timestamp horizon = clock_->Now() + Lookahead();
  int handled = 0;
  while (const std::optional<timing::ClockEvent> event = clock_->Poll(horizon)) {
    DueBefore(event->at);
    Handle(*event);
    ++handled;
    // One chord a call: chords as fast as possible are always due, and the
    // front end must get its say (a stop, the end of a counted run) between
    // them.
    if (event->cue != timing::Cue::kStop) {
      break;
    }
  }
  DueBefore(horizon + std::chrono::nanoseconds(1));
  ReopenFailedDevice();
  Report();
  return handled;
}

Timestamp PlaybackSession::NextWake() const {
  Timestamp wake = clock_->NextWake();
  if (const std::optional<Timestamp> pulse = NextPulse()) {
    wake = std::min(wake, *pulse);
  }
  if (const std::optional<Timestamp> note = port_.NextDue()) {
    wake = std::min(wake, *note);
  }
  if (wake != Timestamp::max()) {
    wake -= Lookahead();
  }
  if (deviceLost_ && running_) {
    wake = std::min(wake, nextReopen_);
  }
  const std::chrono::nanoseconds poll = clock_->PollInterval();
  if (poll != std::chrono::nanoseconds::max()) {
    wake = std::min(wake, clock_->Now() + poll);
  }
  return wake;
}

void PlaybackSession::Handle(const timing::ClockEvent& event) {
  if (stopAtNextChord_ && event.cue != timing::Cue::kStart && event.cue != timing::Cue::kStop) {
    stopAtNextChord_ = false;
    StopAt(event.at);
    return;
  }
  switch (event.cue) {
    case timing::Cue::kStart:
      StartAt(event.at);
      break;
    case timing::Cue::kResume:
      if (!started_) {
        StartAt(event.at);  // nothing to go on with yet
        break;
      }
      // Rolling on from a later position: the progression goes on.
      running_ = true;
      if (clockOut_) {
        // Followers of this clock go on from where the master does.
        if (const std::optional<double> beats = clock_->LastEventBeats()) {
          port_.SendSongPosition(static_cast<int>(std::llround(*beats * 4)), event.at);
        }
        port_.SendRealTime(midi::MidiMessage::Continue(), event.at);
        lastPulse_ = event.at - std::chrono::nanoseconds(1);
      }
      ChordAt(event.at);
      break;
    case timing::Cue::kChord:
      ChordAt(event.at);
      break;
    case timing::Cue::kStop:
      SilenceAt(event.at);
      break;
  }
}

void PlaybackSession::StartAt(Timestamp at) {
  started_ = true;
  recorder_->Restart(clock_->CurrentMeter(), keepRecording_ || stream_ != nullptr);
  spill_.reset();
  spillRefused_ = false;
  recordingFailure_.reset();
  recordingFailureTaken_ = false;
  if (stream_ != nullptr) {
    if (Status streaming = recorder_->StreamTo(*stream_); !streaming) {
      FailRecording(streaming.error());
    }
  }
  if (clockOut_) {
    port_.SendRealTime(midi::MidiMessage::Start(), at);
    lastPulse_ = at - std::chrono::nanoseconds(1);
  }
  lastChordAt_ = at;
  recorder_->BeginChord(at);
  port_.SetBeat(BeatOf(clock_->CurrentMeter()));
  firstOfStart_ = true;
  chordAwaited_ = false;
  lateTold_ = false;
  control_.Start(at);
  running_ = true;
  ChordPlayed();
}

void PlaybackSession::ChordAt(Timestamp at) {
  lastChordAt_ = at;
  if (!chordAwaited_) {
    recorder_->BeginChord(at);
    port_.SetBeat(BeatOf(clock_->CurrentMeter()));
    chordAwaited_ = !control_.Tick(at);
  }
  // Otherwise the chord still awaited stands for this boundary too.
  if (chordAwaited_ && !lateTold_ && sink_) {
    lateTold_ = true;
    Notice late;
    late.kind = NoticeKind::kChordLate;
    sink_(late);
  }
  ChordPlayed();
}

void PlaybackSession::PlayAwaited() {
  if (!chordAwaited_ || !running_) {
    return;
  }
  // Sent at its boundary's time, which has passed: the device sounds it as
  // soon as it can.
  chordAwaited_ = !control_.Tick(lastChordAt_);
}

void PlaybackSession::Tick(unsigned timerId) {
  const Timestamp now = clock_->Now();
  if (timerId != kStepTimerId) {
    return;
  }
  // A tick delivered before the chord's time plays now.
  ChordAt(running_ ? std::min(now, NextChordDue()) : now);
  Report();
}

void PlaybackSession::ChordPlayed() {
  clock_->ChordPlayed();
  if (const std::optional<Timestamp> next = clock_->NextChord()) {
    recorder_->SetNextChordDue(*next);
  }
  FlushRecording();
  SpillWhenLarge();
}

void PlaybackSession::Stop() {
  const Timestamp now = clock_->Now();
  StopAt(running_ ? std::min(now, NextChordDue()) : now);
}

void PlaybackSession::StopAt(Timestamp at) {
  // A chord sent ahead of its time is silenced with it, not left to ring
  // after the stop.
  at = std::max(at, lastChordAt_);
  DueBefore(at);
  SilenceAt(at);
  clock_->Disengage();
  Report();
}

void PlaybackSession::SilenceAt(Timestamp at) {
  if (clockOut_ && running_) {
    port_.SendRealTime(midi::MidiMessage::Stop(), at);
  }
  control_.Stop(at);
  chordAwaited_ = false;
  running_ = false;
  FlushRecording();
}

std::optional<Timestamp> PlaybackSession::NextPulse() const {
  if (!clockOut_ || !running_) {
    return std::nullopt;
  }
  return clock_->PulseAfter(lastPulse_);
}

void PlaybackSession::DueBefore(Timestamp end) {
  // Clock pulses and the notes of a pattern, in the order of their times; a
  // pulse goes before a note at the same time.
  for (;;) {
    const std::optional<Timestamp> pulse = NextPulse();
    const std::optional<Timestamp> note = port_.NextDue();
    const bool pulseDue = pulse && *pulse < end;
    if (note && *note < end && (!pulseDue || *note < *pulse)) {
      port_.SendDue(pulseDue ? *pulse : end);
    } else if (pulseDue) {
      port_.SendRealTime(midi::MidiMessage::Clock(), *pulse);
      lastPulse_ = *pulse;
    } else {
      return;
    }
  }
}

const generator::LoadReport& PlaybackSession::LastLoadReport() const {
  return generated_ != nullptr ? generated_->LastLoadReport() : kNothingLoaded;
}

generator::StepExplanation PlaybackSession::ExplainLastStep() const {
  return generated_ != nullptr ? generated_->ExplainLastStep() : generator::StepExplanation{};
}

void PlaybackSession::OnStep(const generator::ProgressionStep& step, const std::string& line) {
  // The chord has sounded and the search for the next one is still to run:
  // the pulse on the chord's beat goes now, not after the search.
  if (running_) {
    DueBefore(lastChordAt_ + std::chrono::nanoseconds(1));
  }
  recorder_->AddMarker(line);
  if (sink_) {
    sink_(PlayedChord{line, std::exchange(firstOfStart_, false)});
  } else {
    firstOfStart_ = false;
  }
  if (listener_) {
    listener_(step, line);
  }
}

}  // namespace sonavela::playback
