#pragma once

#include <memory>
#include <optional>
#include <string>

#include "midi/midi_backend.h"
#include "midi/midi_file.h"

namespace sonavela::midi {

// Lets a MIDI file listen in on a backend: every message MidiPort sends goes
// to the inner backend and into the recording, so the file holds exactly
// what the device was given. Messages are recorded also while no device is
// open, or when there is no inner backend at all, so playing to no device
// still yields a file.
//
//   auto recording = std::make_shared<MidiFileRecording>();
//   MidiPort port(std::make_unique<MidiFileTap>(MakeSystemBackend(), recording));
//   recording->SetTime(step * interval);   // before each chord
//   port.PlayChord(chord);
//   recording->AddMarker(line);
//   recording->Encode(end);                 // the file, e.g. for playback::SaveMidiFile
//
// The recording is shared so that it outlives the port and stays reachable
// after the tap has been moved into it. It keeps the time its owner sets;
// the tap adds no clock of its own. Not thread-safe: use it on one thread.
class MidiFileTap final : public MidiBackend {
 public:
  // `inner` may be null: a file-only output with no devices.
  MidiFileTap(std::unique_ptr<MidiBackend> inner, std::shared_ptr<MidiFileRecording> recording);
  ~MidiFileTap() override = default;
  MidiFileTap(const MidiFileTap&) = delete;
  MidiFileTap& operator=(const MidiFileTap&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override;
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  [[nodiscard]] bool Open(unsigned index) override;
  void Send(std::uint32_t message) override;
  void Close() override;
  [[nodiscard]] std::string LastError() const override;

  [[nodiscard]] const std::shared_ptr<MidiFileRecording>& Recording() const { return recording_; }
  [[nodiscard]] MidiBackend* Inner() const { return inner_.get(); }

 private:
  std::unique_ptr<MidiBackend> inner_;
  std::shared_ptr<MidiFileRecording> recording_;
  std::string lastError_;
};

}  // namespace sonavela::midi
