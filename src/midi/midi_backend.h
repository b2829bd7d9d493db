#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sonavela::midi {

// A family of MIDI output devices that MidiPort drives: list them, open one
// by index, send 32-bit short messages to it, close it. At most one device of
// a backend is open at a time.
//
// Short messages are packed as the Windows MIDI API packs them: status byte in
// bits 0..7, first data byte in bits 8..15, second data byte in bits 16..23.
class MidiBackend {
 public:
  virtual ~MidiBackend() = default;

  [[nodiscard]] virtual unsigned DeviceCount() const = 0;
  // std::nullopt when the name cannot be read.
  [[nodiscard]] virtual std::optional<std::string> DeviceName(unsigned index) const = 0;
  // On failure nothing is open and LastError() says why.
  [[nodiscard]] virtual bool Open(unsigned index) = 0;
  // Ignored while nothing is open.
  virtual void Send(std::uint32_t message) = 0;
  virtual void Close() = 0;
  [[nodiscard]] virtual std::string LastError() const = 0;
};

}  // namespace sonavela::midi
