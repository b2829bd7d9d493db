#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/midi_backend.h"
#include "midi/midi_host.h"

class RtMidiOut;

namespace sonavela::midi {

// The system's MIDI outputs through RtMidi, every compiled API in RtMidi's
// order (on Linux the JACK MIDI ports, then the ALSA sequencer ports). An API
// whose subsystem is absent (no sequencer device, no running JACK server)
// simply contributes no devices; why is kept in UnavailableApis(). The list
// is read once, at construction. Opening a device looks it up again by name,
// so a port that has gone away fails to open instead of reaching another.
class RtMidiBackend final : public MidiBackend {
 public:
  // `host` says which transports to ask; probed here when not given.
  explicit RtMidiBackend(std::string clientName = "Sonavela",
                         std::optional<MidiHost> host = std::nullopt);
  ~RtMidiBackend() override;
  RtMidiBackend(const RtMidiBackend&) = delete;
  RtMidiBackend& operator=(const RtMidiBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override;
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  [[nodiscard]] bool Open(unsigned index) override;
  void Send(std::uint32_t message) override;
  void Close() override;
  [[nodiscard]] std::string LastError() const override { return lastError_; }

  // One line per API that could not be used, for diagnostics.
  [[nodiscard]] const std::vector<std::string>& UnavailableApis() const { return unavailable_; }

 private:
  struct Device {
    int api = 0;
    unsigned port = 0;
    std::optional<std::string> name;
  };

  std::string clientName_;
  std::vector<Device> devices_;
  std::vector<std::string> unavailable_;
  std::unique_ptr<RtMidiOut> out_;
  std::string lastError_;
  // Filled by RtMidi's error callback while one of our calls runs.
  std::string rtmidiError_;
};

}  // namespace sonavela::midi
