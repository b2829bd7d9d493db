#include "midi/midi_port.h"

#include <algorithm>
#include <utility>

#include "harmony/note.h"

namespace sonavela::midi {

namespace {

// Upper voices and bass, each walked from the top down.
constexpr int kUpperHighest = 96;
constexpr int kUpperLowest = 61;
constexpr int kBassHighest = 60;
constexpr int kBassLowest = 37;

constexpr std::int32_t kLowestInstrument = 1;
constexpr std::int32_t kHighestInstrument = 128;

}  // namespace

MidiPort::MidiPort(std::unique_ptr<MidiBackend> backend) : backend_(std::move(backend)) {}

MidiPort::~MidiPort() {
  if (isOpen_) {
    AllNotesOff();
    backend_->Close();
  }
}

unsigned MidiPort::DeviceCount() const {
  return backend_->DeviceCount();
}

bool MidiPort::DeviceName(unsigned index, std::string& name) const {
  std::optional<std::string> read = backend_->DeviceName(index);
  if (!read) {
    return false;
  }
  name = std::move(*read);
  return true;
}

bool MidiPort::OpenDevice(unsigned index) {
  if (isOpen_) {
    AllNotesOff();
    backend_->Close();
    isOpen_ = false;
  }
  if (!backend_->Open(index)) {
    return false;
  }
  isOpen_ = true;
  AllNotesOff();
  return true;
}

std::string MidiPort::LastError() const {
  return backend_->LastError();
}

void MidiPort::AllNotesOff() {
  Send(kAllNotesOff);
}

void MidiPort::ProgramChange(std::int32_t instrument) {
  AllNotesOff();
  // Outside 1..128 the packed value would carry a status byte (0xFF, System
  // Reset, for 0) or a data byte above 0x7F into the program field.
  const std::int32_t n = std::clamp(instrument, kLowestInstrument, kHighestInstrument);
  Send(static_cast<std::uint32_t>(n) * 256U - 64U);
}

void MidiPort::NoteOn(int key, int velocity) {
  // Data bytes are 7-bit; anything wider would corrupt the stream.
  const auto k = static_cast<std::uint32_t>(std::clamp(key, 0, 127));
  const auto v = static_cast<std::uint32_t>(std::clamp(velocity, 0, 127));
  Send(((v * 256U) + k) * 256U + 0x90U);
}

void MidiPort::PlayChord(const harmony::Chord& chord) {
  AllNotesOff();

  // A type whose first slot already ends the list has no tones at all.
  const harmony::ToneList tones = harmony::ChordTones(chord);
  for (int n = kUpperHighest; n >= kUpperLowest; --n) {
    const bool sounds = std::any_of(tones.begin(), tones.end(), [n](harmony::SpelledNote tone) {
      return harmony::PitchClass(tone) == n % 12;
    });
    if (sounds) {
      NoteOn(n, kChordVelocity);
    }
  }

  // The bass reads the first slot even when it would end the tone list.
  const int rootClass =
      harmony::PitchClass(harmony::MoveByWholeTones(chord.root, chord.type.tones[0]));
  for (int n = kBassHighest; n >= kBassLowest; --n) {
    if (rootClass == n % 12) {
      NoteOn(n, kChordVelocity);
    }
  }
}

void MidiPort::Send(std::uint32_t message) {
  backend_->Send(message);
}

}  // namespace sonavela::midi
