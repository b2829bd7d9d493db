#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "harmony/chord.h"
#include "midi/midi_backend.h"

namespace sonavela::midi {

inline constexpr std::uint32_t kAllNotesOff = 0x7BB0;  // B0 7B 00
inline constexpr int kChordVelocity = 64;

// The program's only producer of MIDI: one output device chosen by index,
// channel 1, all notes off / program change / note on, never a note-off.
class MidiPort {
 public:
  explicit MidiPort(std::unique_ptr<MidiBackend> backend);
  ~MidiPort();  // silences and closes the open device
  MidiPort(const MidiPort&) = delete;
  MidiPort& operator=(const MidiPort&) = delete;

  [[nodiscard]] unsigned DeviceCount() const;
  // On success `name` is replaced; on failure it is left as it was.
  [[nodiscard]] bool DeviceName(unsigned index, std::string& name) const;
  // Silences and closes the open device first. On failure no device is open
  // and LastError() tells the user why.
  [[nodiscard]] bool OpenDevice(unsigned index);
  [[nodiscard]] bool IsOpen() const { return isOpen_; }
  [[nodiscard]] std::string LastError() const;

  void AllNotesOff();
  // All notes off, then program n - 1 on channel 1; n is clamped to 1..128.
  void ProgramChange(std::int32_t instrument);
  void NoteOn(int key, int velocity);
  // All notes off, every pitch class of the chord from 96 down to 61, then the
  // root from 60 down to 37.
  void PlayChord(const harmony::Chord& chord);

  [[nodiscard]] MidiBackend& Backend() { return *backend_; }

 private:
  void Send(std::uint32_t message);

  std::unique_ptr<MidiBackend> backend_;
  bool isOpen_ = false;
};

}  // namespace sonavela::midi
