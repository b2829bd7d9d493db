// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ostream>

#include "midi/port/midi_message.h"

namespace sonavela::midi {

// Messages in test failures as their bytes: "90 60 40".
void PrintTo(const MidiMessage& message, std::ostream* out);

// The 32-bit value of the original output API (status in bits 0-7, data in
// bits 8-15 and 16-23), for the tests that state messages that way.
[[nodiscard]] constexpr std::uint32_t Packed(const MidiMessage& message) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < message.Size(); ++i) {
    value |= static_cast<std::uint32_t>(message.Bytes()[i]) << (8 * i);
  }
  return value;
}

}  // namespace sonavela::midi
