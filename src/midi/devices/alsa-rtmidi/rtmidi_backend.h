// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/devices/alsa-rtmidi/midi_host.h"
#include "midi/port/midi_backend.h"

class RtMidiOut;

namespace sonavela::midi {

// The system's MIDI outputs through RtMidi, every compiled API in RtMidi's
// order but JACK, whose ports the program's own JACK client lists and opens
// (on Linux that leaves the ALSA sequencer ports). An API whose subsystem is
// absent (no sequencer device) simply contributes no devices; why is kept in
// Unavailable(). The list is read once, at construction. Opening a device
// looks it up again by name, so a port that has gone away fails to open
// instead of reaching another.
class RtMidiBackend final : public MidiBackend {
 public:
  // `host` says which transports to ask; the ALSA sequencer is probed here
  // when it is not given.
  explicit RtMidiBackend(std::string clientName = "Sonavela",
                         std::optional<MidiHost> host = std::nullopt);
  ~RtMidiBackend() override;
  RtMidiBackend(const RtMidiBackend&) = delete;
  RtMidiBackend& operator=(const RtMidiBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override;
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  Status Send(const MidiMessage& message, Timestamp at) override;
  Status Close() override;

  // One line per API that could not be used.
  [[nodiscard]] std::vector<Error> Unavailable() const override { return unavailable_; }

 private:
  struct Device {
    int api = 0;
    unsigned port = 0;
    std::optional<std::string> name;
  };

  std::string clientName_;
  std::vector<Device> devices_;
  std::vector<Error> unavailable_;
  std::unique_ptr<RtMidiOut> out_;
  // Filled by RtMidi's error callback while one of our calls runs.
  std::string rtmidiError_;
};

}  // namespace sonavela::midi
