// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/port/midi_port.h"

#include <algorithm>
#include <utility>

#include "harmony/note.h"

namespace sonavela::midi {

namespace {

constexpr std::int32_t kLowestInstrument = 1;
constexpr std::int32_t kHighestInstrument = 128;

}  // namespace

MidiPort::MidiPort(std::unique_ptr<MidiBackend> backend) : backend_(std::move(backend)) {}

MidiPort::~MidiPort() {
  // Nobody is left to hear about a failure now.
  (void)CloseDevice(lastTime_);
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

std::vector<Error> MidiPort::UnavailableDevices() const {
  return backend_->Unavailable();
}

Status MidiPort::OpenDevice(unsigned index, Timestamp at) {
  (void)CloseDevice(at);
  failure_.reset();
  failureTaken_ = false;
  Status opened = backend_->Open(index);
  if (!opened) {
    return opened;
  }
  isOpen_ = true;
  AllNotesOff(at);
  return {};
}

Status MidiPort::CloseDevice(Timestamp at) {
  if (!isOpen_) {
    return {};
  }
  // Never before what was sent last: a device that schedules would play a
  // chord sent ahead of its time after this silence, and let it ring.
  AllNotesOff(std::max(at, lastTime_));
  isOpen_ = false;
  Status closed = backend_->Close();
  if (!closed && !failure_) {
    Fail(closed.error());
  }
  if (failure_) {
    return *failure_;
  }
  return {};
}

std::optional<Error> MidiPort::TakeFailure() {
  if (!failure_ || failureTaken_) {
    return std::nullopt;
  }
  failureTaken_ = true;
  return failure_;
}

void MidiPort::SetVoicing(const VoicingSettings& settings) {
  if (settings == voicing_) {
    newVoicing_.reset();  // the one that sounds goes on
  } else {
    newVoicing_ = settings;
  }
}

void MidiPort::TakeNewVoicing(Timestamp at) {
  if (!newVoicing_) {
    return;
  }
  if (notesSent_) {
    // The notes of the last voicing end on its channels: the new one may
    // sound elsewhere, or not know them.
    SendDue(at);
    pattern_.Clear();
    EndNotes(at);
    if (voicing_.mode == VoicingMode::kFull && pattern_.Plain()) {
      SilenceChannels(at);
    }
  }
  voicing_ = *newVoicing_;
  newVoicing_.reset();
  voicer_ = Voicer(voicing_.mode, voicing_.upper);
  sounding_.count = 0;
  pattern_ = PatternPlayer(voicing_.pattern, voicing_.humanizeMs);
}

void MidiPort::SilenceChannels(Timestamp at) {
  Send(MidiMessage::AllNotesOff(voicing_.channel), at);
  if (voicing_.BassChannel() != voicing_.channel) {
    Send(MidiMessage::AllNotesOff(voicing_.BassChannel()), at);
  }
}

void MidiPort::SendDue(Timestamp before) {
  while (const std::optional<PatternNote> note = pattern_.Take(before)) {
    SendNote(*note);
  }
}

void MidiPort::SendNote(const PatternNote& note) {
  const int channel = note.note.bass ? voicing_.BassChannel() : voicing_.channel;
  if (note.on) {
    Send(MidiMessage::NoteOn(channel, note.note.key, voicing_.velocity), note.at);
    sounding_.Add(note.note.key, note.note.bass);
    return;
  }
  Send(MidiMessage::NoteOff(channel, note.note.key), note.at);
  for (std::size_t i = 0; i < sounding_.count; ++i) {
    if (sounding_.notes[i].key == note.note.key && sounding_.notes[i].bass == note.note.bass) {
      sounding_.notes[i] = sounding_.notes[--sounding_.count];
      break;
    }
  }
}

void MidiPort::EndNotes(Timestamp at) {
  for (const VoicedChord::Note& note : sounding_) {
    Send(MidiMessage::NoteOff(note.bass ? voicing_.BassChannel() : voicing_.channel, note.key), at);
  }
  sounding_.count = 0;
}

void MidiPort::AllNotesOff(Timestamp at) {
  TakeNewVoicing(at);
  SendDue(at);
  pattern_.Clear();
  EndNotes(at);
  SilenceChannels(at);
  notesSent_ = false;
  voicer_.Reset();
}

void MidiPort::ProgramChange(std::int32_t instrument, Timestamp at) {
  AllNotesOff(at);
  // Outside 1..128 the packed value of the original output API would carry a
  // status byte (0xFF, System Reset, for 0) or a data byte above 0x7F into
  // the program field.
  const std::int32_t n = std::clamp(instrument, kLowestInstrument, kHighestInstrument);
  Send(MidiMessage::ProgramChange(voicing_.channel, n - 1), at);
}

void MidiPort::NoteOn(int key, int velocity, Timestamp at) {
  Send(MidiMessage::NoteOn(voicing_.channel, key, velocity), at);
}

void MidiPort::PlayChord(const harmony::Chord& chord, Timestamp at) {
  TakeNewVoicing(at);
  notesSent_ = true;
  if (!pattern_.Plain()) {
    PlayPattern(chord, at);
    return;
  }
  if (voicing_.mode == VoicingMode::kFull) {
    // Its notes end only by all notes off, and the voicing has no memory.
    SilenceChannels(at);
  } else {
    EndNotes(at);
  }
  const VoicedChord voiced = voicer_.Voice(chord);
  for (const VoicedChord::Note& note : voiced) {
    Send(MidiMessage::NoteOn(note.bass ? voicing_.BassChannel() : voicing_.channel, note.key,
                             voicing_.velocity),
         at);
  }
  if (voicing_.mode != VoicingMode::kFull) {
    sounding_ = voiced;
  }
}

void MidiPort::PlayPattern(const harmony::Chord& chord, Timestamp at) {
  // What the last chord's pattern had before this one, then nothing more of it.
  SendDue(at);
  pattern_.Clear();
  if (voicing_.mode == VoicingMode::kFull) {
    SilenceChannels(at);
    sounding_.count = 0;
  } else {
    EndNotes(at);
  }
  pattern_.Begin(voicer_.Voice(chord), at, beat_);
  SendDue(at + std::chrono::nanoseconds(1));
}

void MidiPort::SendRealTime(const MidiMessage& message, Timestamp at) {
  if (message.Size() == 1 && message.Status() >= 0xF8) {
    Send(message, at);
  }
}

void MidiPort::SendSongPosition(int sixteenths, Timestamp at) {
  Send(MidiMessage::SongPosition(sixteenths), at);
}

void MidiPort::Send(const MidiMessage& message, Timestamp at) {
  lastTime_ = std::max(lastTime_, at);
  // A failed device is left alone: one report, not one per message.
  if (failure_) {
    return;
  }
  Status sent = backend_->Send(message, at);
  if (!sent) {
    Fail(sent.error());
  }
}

void MidiPort::Fail(Error why) {
  failure_ = std::move(why);
}

}  // namespace sonavela::midi
