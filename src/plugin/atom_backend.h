// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "midi/port/midi_backend.h"
#include "plugin/atom_ports.h"
#include "timing/host_clock.h"

namespace sonavela::plugin {

// The plugin's MIDI output as the session's one device: every message goes
// into this cycle's sequence on the frame of its time. A time before the
// part of the cycle being played (a chord that came late) is played at its
// first frame: the sequence only goes forward.
class AtomBackend final : public midi::MidiBackend {
 public:
  AtomBackend(AtomOutput& output, const timing::HostClock& clock)
      : output_(output), clock_(clock) {}

  void Cycle(std::int64_t start, std::uint32_t frames) {
    start_ = start;
    frames_ = frames;
  }

  [[nodiscard]] unsigned DeviceCount() const override { return 1; }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  Status Send(const midi::MidiMessage& message, midi::Timestamp at) override;
  Status Close() override { return {}; }

 private:
  AtomOutput& output_;
  const timing::HostClock& clock_;
  std::int64_t start_ = 0;
  std::uint32_t frames_ = 0;
};

}  // namespace sonavela::plugin
