// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midi/files/byte_sink.h"
#include "midi/files/midi_file.h"
#include "midi/port/midi_backend.h"
#include "timing/chord_clock.h"

namespace sonavela::playback {

using midi::Timestamp;

// The beat a MIDI file is written with for a clock's beat: a beat that no
// tempo can express (zero, for chords as fast as possible, or longer than a
// tempo can say) keeps the beat of 120 BPM.
[[nodiscard]] std::chrono::microseconds FileBeat(std::chrono::nanoseconds clockBeat);

// What was played since the last Start as a MIDI file, listening in on the
// device: every message goes to the inner backend and into the recording,
// also while no device is open, so playing to no device still yields a file.
//
// The file's timeline is the chords', each as many beats long as on the
// clock (a 4/4 bar for four): chord k starts at k chords whenever it was
// actually played, and a message within a chord (a Stop, a change of device)
// lands as far into the chord as it came. A chord stopped only when the next
// one was due lasts its whole length.
class ChordRecorder final : public midi::MidiBackend {
 public:
  // `inner` may be null: a file-only output with no devices.
  explicit ChordRecorder(std::unique_ptr<midi::MidiBackend> inner);

  // Forgets what was recorded; chords follow `meter` on the clock. Unless
  // `keep`, only passes the messages on: nothing will ever be saved.
  void Restart(timing::Meter meter, bool keep = true);
  // Chord k + 1 of the recording begins at `at`; what is sent from now on
  // belongs to it.
  void BeginChord(Timestamp at);
  // When the chord after the current one is due, once the clock knows.
  void SetNextChordDue(Timestamp due) { nextDue_ = due; }
  void AddMarker(std::string_view text);

  [[nodiscard]] bool Empty() const { return recording_.Empty(); }
  [[nodiscard]] std::int64_t Chords() const { return chords_; }
  // Where a recording saved now ends: the end of the current chord's bar
  // while playing, the last message otherwise.
  [[nodiscard]] std::chrono::microseconds End(bool playing) const;
  [[nodiscard]] std::vector<std::uint8_t> Encode(bool playing) const;

  // Streams the recording into `sink` (see MidiFileRecording::StreamTo).
  Status StreamTo(midi::ByteSink& sink) { return recording_.StreamTo(sink); }
  [[nodiscard]] bool Streaming() const { return recording_.Streaming(); }
  Status Flush() { return recording_.Flush(); }
  Status Finish() { return recording_.Finish(End(false)); }
  [[nodiscard]] std::size_t Buffered() const { return recording_.Buffered(); }
  // What completes the streamed bytes into the file Encode would give.
  [[nodiscard]] midi::MidiFileRecording::Ending EndingOfStream(bool playing) const {
    return recording_.EndingAt(End(playing));
  }

  [[nodiscard]] unsigned DeviceCount() const override;
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  Status Send(const midi::MidiMessage& message, Timestamp at) override;
  Status Close() override;
  [[nodiscard]] std::vector<Error> Unavailable() const override;
  [[nodiscard]] std::vector<Notice> TakeNotices() override;
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const override;
  void Standby() override;

 private:
  [[nodiscard]] std::chrono::microseconds FileTime(Timestamp at) const;

  std::unique_ptr<midi::MidiBackend> inner_;
  midi::MidiFileRecording recording_;
  std::chrono::nanoseconds clockChord_{};
  std::chrono::microseconds fileChord_{};
  std::int64_t chords_ = 0;
  bool keep_ = true;
  Timestamp chordStart_{};
  std::optional<Timestamp> nextDue_;
};

}  // namespace sonavela::playback
