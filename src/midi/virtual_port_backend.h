#pragma once

#include <memory>
#include <optional>
#include <string>

#include "midi/midi_backend.h"
#include "midi/midi_host.h"

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
[[nodiscard]] std::optional<VirtualPortApi> ChooseVirtualPortApi(const MidiHost& host);

// One device, "Sonavela (virtual port)": opening it creates a named MIDI
// output port of this program (on JACK "<client>:<port>", in the ALSA
// sequencer client <client> with port <port>) that a DAW or synth connects
// to; closing it removes the port. No API: no device.
class VirtualPortBackend final : public MidiBackend {
 public:
  VirtualPortBackend(std::optional<VirtualPortApi> api, std::string clientName,
                     std::string portName = "out");
  ~VirtualPortBackend() override;
  VirtualPortBackend(const VirtualPortBackend&) = delete;
  VirtualPortBackend& operator=(const VirtualPortBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override;
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  [[nodiscard]] bool Open(unsigned index) override;
  void Send(std::uint32_t message) override;
  void Close() override;
  [[nodiscard]] std::string LastError() const override { return lastError_; }

  [[nodiscard]] std::optional<VirtualPortApi> Api() const { return api_; }

 private:
  std::optional<VirtualPortApi> api_;
  std::string clientName_;
  std::string portName_;
  std::unique_ptr<RtMidiOut> out_;
  std::string lastError_;
  // Filled by RtMidi's error callback while one of our calls runs.
  std::string rtmidiError_;
};

}  // namespace sonavela::midi
