// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harmony/chord.h"
#include "midi/port/midi_backend.h"
#include "midi/port/midi_message.h"
#include "midi/port/pattern.h"
#include "midi/port/voicing.h"

namespace sonavela::midi {

inline constexpr int kChordChannel = 1;
inline constexpr int kChordVelocity = 64;

// How chords sound: their layout, channels and loudness. The defaults are
// the program's own voicing, on channel 1 at velocity 64.
struct VoicingSettings {
  VoicingMode mode = VoicingMode::kFull;
  NoteRange upper = kDefaultRegister;  // of every mode but kFull
  int channel = kChordChannel;
  int bassChannel = 0;  // 0: the chords' channel
  int velocity = kChordVelocity;
  ChordPattern pattern = ChordPattern::kBlock;
  int humanizeMs = 0;  // each note later by a random 0..humanizeMs ms

  [[nodiscard]] int BassChannel() const { return bassChannel == 0 ? channel : bassChannel; }
  friend bool operator==(const VoicingSettings&, const VoicingSettings&) = default;
};

// The program's only producer of MIDI: one output device chosen by index,
// all notes off / program change / note on, and note-offs in the voicings
// that end their notes themselves. Every message carries the time it is
// meant to sound at.
//
// A device that fails while it is open (its server quits, it is unplugged)
// is not sent to again until a device is opened; the failure is kept so that
// the front end can tell the user once.
class MidiPort {
 public:
  explicit MidiPort(std::unique_ptr<MidiBackend> backend);
  ~MidiPort();  // silences and closes the open device
  MidiPort(const MidiPort&) = delete;
  MidiPort& operator=(const MidiPort&) = delete;

  [[nodiscard]] unsigned DeviceCount() const;
  // On success `name` is replaced; on failure it is left as it was.
  [[nodiscard]] bool DeviceName(unsigned index, std::string& name) const;
  // Why kinds of devices are missing from the list, one line each.
  [[nodiscard]] std::vector<Error> UnavailableDevices() const;
  // Silences and closes the open device first. On failure no device is open.
  Status OpenDevice(unsigned index, Timestamp at);
  // Silences and closes the open device, delivering what is queued. Fails
  // when the device failed while open or could not deliver everything.
  Status CloseDevice(Timestamp at);
  [[nodiscard]] bool IsOpen() const { return isOpen_; }

  // Takes effect at the next chord or silence, which first ends what the
  // last voicing left sounding on its channels; the voice leading starts
  // afresh.
  void SetVoicing(const VoicingSettings& settings);
  // Where the beats of the chords played from now on fall, for the patterns
  // that spread a chord over its length.
  void SetBeat(PatternBeat beat) { beat_ = beat; }
  // When the pattern of the chord playing has its next note, if it has one.
  [[nodiscard]] std::optional<Timestamp> NextDue() const { return pattern_.NextTime(); }
  // Sends the pattern's notes that fall before `before`.
  void SendDue(Timestamp before);

  // Ends what sounds (note-offs where the voicing sent its own) and sends
  // all notes off on the chords' channels; the next chord is voiced as a
  // first one.
  void AllNotesOff(Timestamp at);
  // All notes off, then program n - 1 on the chords' channel; n is clamped
  // to 1..128.
  void ProgramChange(std::int32_t instrument, Timestamp at);
  void NoteOn(int key, int velocity, Timestamp at);
  // Ends the last chord and sounds this one. The three-octave voicing: all
  // notes off, every pitch class of the chord from 96 down to 61, then the
  // root from 60 down to 37; the others end the last chord's notes with
  // note-offs. A pattern other than a plain block sends what falls at `at`
  // and leaves the rest to SendDue.
  void PlayChord(const harmony::Chord& chord, Timestamp at);
  // A system real-time message (clock, start, continue, stop) for gear that
  // follows this program's tempo; anything else is not sent.
  void SendRealTime(const MidiMessage& message, Timestamp at);
  // Where a follower of this clock is to go on, in sixteenths from the start.
  void SendSongPosition(int sixteenths, Timestamp at);

  // True once the open device has failed; false again after OpenDevice.
  [[nodiscard]] bool DeviceFailed() const { return failure_.has_value(); }
  // The failure of the open device, the first time it is asked for.
  [[nodiscard]] std::optional<Error> TakeFailure();
  // How long before its time a message must be sent to the open device.
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const { return backend_->Lookahead(); }
  // What the devices want the user to know that is no failure, once.
  [[nodiscard]] std::vector<Notice> TakeNotices() { return backend_->TakeNotices(); }

 private:
  void Send(const MidiMessage& message, Timestamp at);
  void EndNotes(Timestamp at);
  void SendNote(const PatternNote& note);
  void PlayPattern(const harmony::Chord& chord, Timestamp at);
  void Fail(Error why);
  void SilenceChannels(Timestamp at);
  void TakeNewVoicing(Timestamp at);

  std::unique_ptr<MidiBackend> backend_;
  bool isOpen_ = false;
  std::optional<Error> failure_;
  bool failureTaken_ = false;
  Timestamp lastTime_{};
  VoicingSettings voicing_;
  std::optional<VoicingSettings> newVoicing_;
  // A note-on was sent since the last all notes off.
  bool notesSent_ = false;
  Voicer voicer_;
  VoicedChord sounding_;  // what the led voicings and the patterns must end with note-offs
  PatternPlayer pattern_;
  PatternBeat beat_;
};

}  // namespace sonavela::midi
