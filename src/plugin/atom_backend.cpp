// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/atom_backend.h"

#include <algorithm>

namespace sonavela::plugin {

std::optional<std::string> AtomBackend::DeviceName(unsigned index) const {
  if (index != 0) {
    return std::nullopt;
  }
  return "MIDI out";
}

Status AtomBackend::Open(unsigned index) {
  if (index != 0) {
    return midi::NoSuchDevice(index);
  }
  return {};
}

Status AtomBackend::Send(const midi::MidiMessage& message, midi::Timestamp at) {
  if (frames_ == 0) {
    return {};  // outside run(): the host has no sequence to write to
  }
  const std::int64_t last = start_ + frames_ - 1;
  const std::int64_t first = std::min(std::max(start_, clock_.SpanStart()), last);
  const std::int64_t frame = std::clamp(clock_.FrameAt(at), first, last);
  output_.Midi(message, static_cast<std::uint32_t>(frame - start_));
  return {};
}

}  // namespace sonavela::plugin
