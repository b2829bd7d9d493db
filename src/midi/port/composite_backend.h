// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/port/midi_backend.h"
#include "midi/port/midi_message.h"

namespace sonavela::midi {

// Several device families behind one index range: the devices of the first
// part come first, then those of the second, and so on. Each part's count is
// read once, when the composite is made, so indices stay stable while the
// program runs.
class CompositeBackend final : public MidiBackend {
 public:
  explicit CompositeBackend(std::vector<std::unique_ptr<MidiBackend>> parts);
  ~CompositeBackend() override;
  CompositeBackend(const CompositeBackend&) = delete;
  CompositeBackend& operator=(const CompositeBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override;
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  Status Send(const MidiMessage& message, Timestamp at) override;
  Status Close() override;
  [[nodiscard]] std::vector<Error> Unavailable() const override;
  [[nodiscard]] std::vector<Notice> TakeNotices() override;
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const override;
  void Standby() override;

 private:
  struct Part {
    std::unique_ptr<MidiBackend> backend;
    unsigned first = 0;
    unsigned count = 0;
  };
  [[nodiscard]] const Part* PartOf(unsigned index) const;

  std::vector<Part> parts_;
  unsigned total_ = 0;
  MidiBackend* open_ = nullptr;
};

}  // namespace sonavela::midi
