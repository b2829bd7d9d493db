// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/chord_recorder.h"

#include <algorithm>
#include <utility>

#include "timing/chord_clock.h"

namespace sonavela::playback {

namespace {

// A beat that no tempo can say gets the beat of the usual period.
constexpr std::chrono::microseconds kFallbackBeat =
    timing::kStepPeriod / timing::kDefaultBeatsPerChord;

midi::MidiFileRecording MakeRecording(std::chrono::microseconds beat) {
  midi::MidiFileOptions options;
  options.beat = beat;
  return midi::MidiFileRecording(options);
}

}  // namespace

std::chrono::microseconds FileBeat(std::chrono::nanoseconds clockBeat) {
  const auto beat = std::chrono::round<std::chrono::microseconds>(clockBeat);
  if (beat <= std::chrono::microseconds::zero() || beat > midi::MidiFileRecording::kLongestBeat) {
    return kFallbackBeat;
  }
  return beat;
}

ChordRecorder::ChordRecorder(std::unique_ptr<midi::MidiBackend> inner)
    : inner_(std::move(inner)), recording_(MakeRecording(kFallbackBeat)) {}

void ChordRecorder::Restart(timing::Meter meter, bool keep) {
  keep_ = keep;
  clockChord_ = meter.Chord();
  const std::chrono::microseconds beat = FileBeat(meter.beat);
  fileChord_ = beat * meter.beatsPerChord;
  recording_ = MakeRecording(beat);
  chords_ = 0;
  nextDue_.reset();
}

void ChordRecorder::BeginChord(Timestamp at) {
  ++chords_;
  chordStart_ = at;
  nextDue_.reset();
  // The chord before fills its bar up to here, whatever it lasted.
  recording_.SetTime((chords_ - 1) * fileChord_);
}

void ChordRecorder::AddMarker(std::string_view text) {
  if (keep_) {
    recording_.AddMarker(text);
  }
}

std::chrono::microseconds ChordRecorder::FileTime(Timestamp at) const {
  if (chords_ == 0) {
    return {};
  }
  const std::chrono::microseconds barStart = (chords_ - 1) * fileChord_;
  if (nextDue_ && at >= *nextDue_) {
    return barStart + fileChord_;
  }
  if (clockChord_ <= std::chrono::nanoseconds::zero() || at <= chordStart_) {
    return barStart;
  }
  // Scaled, for the chords that are longer than any bar of a file can be.
  const double fraction = std::min(1.0, std::chrono::duration<double>(at - chordStart_) /
                                            std::chrono::duration<double>(clockChord_));
  return barStart + std::chrono::microseconds(static_cast<std::int64_t>(
                        fraction * static_cast<double>(fileChord_.count())));
}

std::chrono::microseconds ChordRecorder::End(bool playing) const {
  if (playing && chords_ > 0) {
    return chords_ * fileChord_;
  }
  return recording_.Time();
}

std::vector<std::uint8_t> ChordRecorder::Encode(bool playing) const {
  return recording_.Encode(End(playing));
}

unsigned ChordRecorder::DeviceCount() const {
  return inner_ ? inner_->DeviceCount() : 0U;
}

std::optional<std::string> ChordRecorder::DeviceName(unsigned index) const {
  return inner_ ? inner_->DeviceName(index) : std::nullopt;
}

Status ChordRecorder::Open(unsigned index) {
  if (!inner_) {
    return midi::NoSuchDevice(index);
  }
  return inner_->Open(index);
}

Status ChordRecorder::Send(const midi::MidiMessage& message, Timestamp at) {
  if (keep_) {
    recording_.SetTime(FileTime(at));
    recording_.AddMessage(message);
  }
  return inner_ ? inner_->Send(message, at) : Status();
}

Status ChordRecorder::Close() {
  return inner_ ? inner_->Close() : Status();
}

std::vector<Error> ChordRecorder::Unavailable() const {
  return inner_ ? inner_->Unavailable() : std::vector<Error>{};
}

std::chrono::nanoseconds ChordRecorder::Lookahead() const {
  return inner_ ? inner_->Lookahead() : std::chrono::nanoseconds{};
}

std::vector<Notice> ChordRecorder::TakeNotices() {
  return inner_ ? inner_->TakeNotices() : std::vector<Notice>{};
}

void ChordRecorder::Standby() {
  if (inner_) {
    inner_->Standby();
  }
}

}  // namespace sonavela::playback
