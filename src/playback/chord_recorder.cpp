#include "playback/chord_recorder.h"

#include <algorithm>
#include <utility>

#include "playback/chord_clock.h"

namespace sonavela::playback {

namespace {

// A chord that no bar can hold gets the bar of the usual period.
constexpr std::chrono::microseconds kFallbackFileChord = kStepPeriod;

midi::MidiFileRecording MakeRecording(std::chrono::microseconds chord) {
  midi::MidiFileOptions options;
  options.chordLength = chord;
  return midi::MidiFileRecording(options);
}

}  // namespace

std::chrono::microseconds FileChordLength(std::chrono::nanoseconds clockChord) {
  const auto chord = std::chrono::duration_cast<std::chrono::microseconds>(clockChord);
  if (chord <= std::chrono::microseconds::zero() ||
      chord > midi::MidiFileRecording::kLongestChord) {
    return kFallbackFileChord;
  }
  return chord;
}

ChordRecorder::ChordRecorder(std::unique_ptr<midi::MidiBackend> inner)
    : inner_(std::move(inner)), recording_(MakeRecording(kFallbackFileChord)) {}

void ChordRecorder::Restart(std::chrono::nanoseconds clockChord) {
  clockChord_ = clockChord;
  fileChord_ = FileChordLength(clockChord);
  recording_ = MakeRecording(fileChord_);
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
  recording_.AddMarker(text);
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

bool ChordRecorder::Open(unsigned index) {
  if (!inner_) {
    lastError_ = "There is no MIDI output device number " + std::to_string(index) + ".";
    return false;
  }
  return inner_->Open(index);
}

bool ChordRecorder::Send(const midi::MidiMessage& message, Timestamp at) {
  recording_.SetTime(FileTime(at));
  recording_.AddMessage(message);
  return !inner_ || inner_->Send(message, at);
}

bool ChordRecorder::Close() {
  return !inner_ || inner_->Close();
}

std::string ChordRecorder::LastError() const {
  return inner_ ? inner_->LastError() : lastError_;
}

std::vector<std::string> ChordRecorder::Unavailable() const {
  return inner_ ? inner_->Unavailable() : std::vector<std::string>{};
}

std::vector<std::string> ChordRecorder::TakeNotices() {
  return inner_ ? inner_->TakeNotices() : std::vector<std::string>{};
}

void ChordRecorder::Standby() {
  if (inner_) {
    inner_->Standby();
  }
}

}  // namespace sonavela::playback
