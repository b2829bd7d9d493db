// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "generator/generator.h"
#include "generator/load_rules.h"
#include "midi/files/byte_sink.h"
#include "midi/port/midi_backend.h"
#include "midi/port/midi_port.h"
#include "playback/playback_control.h"
#include "playback/session_events.h"
#include "timing/chord_clock.h"

namespace sonavela::playback {

class ChordRecorder;
class SpillFile;

struct SessionOptions {
  // The devices to list and play on; null for none at all.
  std::unique_ptr<midi::MidiBackend> devices;
  // Where the chords fall; null for a chord every two seconds on the steady
  // clock.
  std::unique_ptr<timing::ChordClock> clock;
  // What each start takes, read at the start; empty: StartInputs::Defaults().
  std::function<StartInputs()> inputs;
  // Where the chords come from when they are searched for elsewhere (a
  // plugin host's worker); null: this session's own generator, with
  // `inputs`.
  std::unique_ptr<ChordSource> chords;
  // Initial state of the random source.
  std::uint32_t seed = generator::RandomSource::kInitialState;
  // MIDI beat clock on the output device: 24 pulses a beat, start and stop,
  // for gear that follows this program's tempo.
  bool clockOut = false;
  // How the chords are laid out, on which channels and how loud.
  midi::VoicingSettings voicing;
  // Keep what was played since Start for SaveMidiFile. Without it, and
  // without RecordInto, nothing is kept: memory stays flat however long the
  // progression plays.
  bool keepRecording = false;
  // A recording kept for a save that outgrows this goes on in a temporary
  // file.
  std::size_t spillAfterBytes = std::size_t{4} << 20;
  // While the open device has failed and the progression plays, try to open
  // a device of the same name again now and then: a JACK server that was
  // restarted, a synthesizer whose sound server is back.
  bool reopenFailedDevice = false;
};

// One progression being played: the generator, the MIDI port, the clock that
// says when each chord sounds, and the recording of what was played since the
// last Start. The front ends give it values (SessionOptions, StartInputs) and
// hear what it does as events (SetEventSink); the policies (when a chord
// sounds, how long it lasts in a file, where notes end at Stop) live here,
// once.
//
// The front end calls Start, then Pump whenever NextWake has come, and Stop;
// the clock (the session's own grid or a master it follows) says when each
// chord sounds, and every message carries that time. Messages are sent as
// far ahead of their time as the device asks (Lookahead), so that a device
// that schedules places them exactly.
class PlaybackSession {
 public:
  explicit PlaybackSession(SessionOptions options);
  ~PlaybackSession();
  PlaybackSession(const PlaybackSession&) = delete;
  PlaybackSession& operator=(const PlaybackSession&) = delete;

  [[nodiscard]] unsigned DeviceCount() const { return port_.DeviceCount(); }
  [[nodiscard]] bool DeviceName(unsigned index, std::string& name) const {
    return port_.DeviceName(index, name);
  }
  [[nodiscard]] std::vector<Error> UnavailableDevices() const { return port_.UnavailableDevices(); }
  // On failure no device is open.
  Status OpenDevice(unsigned index);
  // Silences and closes the device, waiting until what was sent is
  // delivered. Fails when the device failed (told once, as an event).
  Status CloseDevice();
  [[nodiscard]] bool DeviceFailed() const { return port_.DeviceFailed(); }

  // Plays from now on: on the session's own grid the first chord at once,
  // with a master when the master says.
  void Start();
  // Does what the clock says is due by now (plus the device's lookahead).
  // Returns how many clock events were handled.
  int Pump();
  // Plays the next chord now, whatever the clock says; ticks of any other
  // timer id change nothing.
  void Tick(unsigned timerId = kStepTimerId);
  // Silences the device and stops following the clock. A chord ends at the
  // stop, never after its time is up.
  void Stop();
  // The same at `at`.
  void StopAt(Timestamp at);
  // The chord playing is the last: when the next one would be due, stop
  // instead, so that it sounds to its end (the end of a counted run).
  void StopAtNextChord() { stopAtNextChord_ = true; }
  // Chords are being played.
  [[nodiscard]] bool Running() const { return running_; }
  // Started and not stopped by the user: playing, or waiting for a master.
  [[nodiscard]] bool Engaged() const { return clock_->Engaged(); }
  // When the next chord is due, where the clock knows it.
  [[nodiscard]] Timestamp NextChordDue() const {
    return clock_->NextChord().value_or(Timestamp::max());
  }
  // When Pump has something to do next, the lookahead taken off.
  [[nodiscard]] Timestamp NextWake() const;
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const { return port_.Lookahead(); }
  [[nodiscard]] timing::ChordClock& Clock() { return *clock_; }
  // How the chords sound from the next chord on; the voice leading starts
  // afresh.
  void SetVoicing(const midi::VoicingSettings& voicing) { port_.SetVoicing(voicing); }
  // Another clock, and whether to send MIDI clock, for the next Start; a
  // session that plays or waits for a master stops first.
  void SetClock(std::unique_ptr<timing::ChordClock> clock, bool clockOut);
  // What the rules of the last start reported; clean when the chords come
  // from elsewhere.
  [[nodiscard]] const generator::LoadReport& LastLoadReport() const;
  // The chord played last: its numeral, the pivot that led to it, the
  // distance from home (where this session's generator found it).
  [[nodiscard]] generator::StepExplanation ExplainLastStep() const;
  // Called for every chord played, after its line was shown.
  void SetStepListener(StepListener listener) { listener_ = std::move(listener); }
  // Hears every event from now on, each as it happens: the chords played,
  // the notices and failures (each once) and every change of state. The
  // Take functions find nothing the sink was told.
  void SetEventSink(SessionEventSink sink) { sink_ = std::move(sink); }
  [[nodiscard]] SessionState State() const { return state_; }

  // Whether anything was recorded since the last Start.
  [[nodiscard]] bool HasRecording() const;
  // Saves what was played since the last Start as a Standard MIDI File, one
  // 4/4 bar per chord; a chord still playing ends where its bar ends.
  Status SaveMidiFile(const std::filesystem::path& path) const;
  // The recording of the next Start goes into `sink` as it is played, which
  // keeps the memory flat however long it plays; `sink` must outlive the
  // session. Complete it with FinishRecording after Stop.
  void RecordInto(midi::ByteSink& sink) { stream_ = &sink; }
  Status FinishRecording();
  // A recording that could not be written (a full disk) is told once, as an
  // event; the recording stops there.
  [[nodiscard]] bool RecordingFailed() const { return recordingFailure_.has_value(); }

 private:
  void OnStep(const generator::ProgressionStep& step, const std::string& line);
  void Handle(const timing::ClockEvent& event);
  void StartAt(Timestamp at);
  void ChordAt(Timestamp at);
  void PlayAwaited();
  void SilenceAt(Timestamp at);
  void DueBefore(Timestamp end);
  [[nodiscard]] std::optional<Timestamp> NextPulse() const;
  void ChordPlayed();
  void FailRecording(Error why);
  void FlushRecording();
  [[nodiscard]] std::optional<Error> TakeRecordingFailure();
  void SpillWhenLarge();
  void ReopenFailedDevice();
  // Tells the sink what happened since it was last told.
  void Report();
  [[nodiscard]] SessionState CurrentState() const;
  Status SaveSpilled(const std::filesystem::path& path) const;

  std::unique_ptr<timing::ChordClock> clock_;
  ChordRecorder* recorder_;  // owned by port_, as its backend
  midi::MidiPort port_;
  generator::ProgressionGenerator generator_;
  GeneratedChords* generated_ = nullptr;  // owned by chords_, unless they come from elsewhere
  std::unique_ptr<ChordSource> chords_;
  bool running_ = false;
  PlaybackControl control_;
  // The chord of the last boundary was not there yet: it sounds as soon as it
  // is.
  bool chordAwaited_ = false;
  bool lateTold_ = false;
  bool clockOut_;
  bool keepRecording_;
  std::size_t spillAfter_;
  std::unique_ptr<SpillFile> spill_;
  bool spillRefused_ = false;
  bool reopenFailed_;
  std::optional<std::string> openName_;  // of the device opened last
  // The open device failed; one of its name is looked for.
  bool deviceLost_ = false;
  Timestamp nextReopen_{};
  std::chrono::nanoseconds reopenWait_{};
  bool stopAtNextChord_ = false;
  // The next chord is the first of a start.
  bool firstOfStart_ = false;
  // A progression was started since the session was made.
  bool started_ = false;
  // When the last chord was meant to sound (it may lie ahead of now).
  Timestamp lastChordAt_{};
  // The last clock pulse sent; pulses follow the clock's beat grid.
  Timestamp lastPulse_{};
  StepListener listener_;
  SessionEventSink sink_;
  SessionState state_ = SessionState::kStopped;
  midi::ByteSink* stream_ = nullptr;
  std::optional<Error> recordingFailure_;
  bool recordingFailureTaken_ = false;
};

}  // namespace sonavela::playback
