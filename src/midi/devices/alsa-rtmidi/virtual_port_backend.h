// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "midi/devices/alsa-rtmidi/midi_host.h"
#include "midi/port/midi_backend.h"

class RtMidiOut;

namespace sonavela::midi {

inline constexpr const char* kVirtualPortDeviceName = "Sonavela (virtual port)";

// The transport that carries the virtual port.
enum class VirtualPortApi { kJack, kAlsa };

// JACK when a JACK server runs, else the ALSA sequencer, else none. Where
// both are there, JACK wins: with a JACK server running, DAWs and synths
// route MIDI through JACK (ALSA ports reach them only through a bridge such
// as a2jmidid), so a JACK port is the one they can connect to directly.
// Platforms without virtual ports (Windows' multimedia API) have neither.
// On JACK the port belongs to the program's JACK client (JackVirtualPortBackend).
[[nodiscard]] std::optional<VirtualPortApi> ChooseVirtualPortApi(const MidiHost& host);

// One device, "Sonavela (virtual port)" on the ALSA sequencer: opening it
// creates the port <port> in the sequencer client <client>, which a DAW or
// synth connects to; closing it removes the port.
class AlsaVirtualPortBackend final : public MidiBackend {
 public:
  AlsaVirtualPortBackend(std::string clientName, std::string portName = "out");
  ~AlsaVirtualPortBackend() override;
  AlsaVirtualPortBackend(const AlsaVirtualPortBackend&) = delete;
  AlsaVirtualPortBackend& operator=(const AlsaVirtualPortBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override { return 1; }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  Status Send(const MidiMessage& message, Timestamp at) override;
  Status Close() override;

 private:
  std::string clientName_;
  std::string portName_;
  std::unique_ptr<RtMidiOut> out_;
  // Filled by RtMidi's error callback while one of our calls runs.
  std::string rtmidiError_;
};

}  // namespace sonavela::midi
